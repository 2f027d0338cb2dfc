#pragma once
// What a station writes, and when: with standard output on a terminal the live view
// (station_view.h) redrawn in place, at most every kRedrawInterval; otherwise one plain line per
// event, or with --json one JSON object per line (station_json.h); --quiet leaves only each run's
// end. Notes go to standard error (on a terminal the view is taken away and drawn again below
// them). The summary ends it all.
//
// Nothing here waits for a stream: the text goes to a writer thread per stream (stream_writer.h;
// one for both when both are terminals, which keeps the screen's order). While a stream is behind,
// redraws and progress lines are dropped (the next redraw shows the state as it is then); the
// events' lines and objects, the notes and the summary are kept, up to the writer's limit: what a
// stream that stopped for hours would leave beyond it is counted and said at the end (every run's
// record is in the update records all the same). End gives the writers a moment to finish, as a
// single run's end does.
//
// Main thread only.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/station_state.h"
#include "cli/stream_writer.h"

class StationScreen {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    StationScreen(bool json, bool quiet);

    // `event` changed `ports[event.port]` from `before` to what it is now.
    void Show(const std::vector<PortState>& ports, const PortState& before,
              const StationEvent& event);
    // A remark for the operator, on standard error.
    void Note(const std::vector<PortState>& ports, const std::string& text);
    // When the live view is to be drawn next; empty when nothing is due.
    std::optional<Clock::time_point> NextDraw() const;
    // Draws the live view if it is due.
    void Draw(const std::vector<PortState>& ports);
    // The view one last time, then the summary; waits for the streams (terminal_output.h's
    // limits). False when something stayed unwritten.
    bool End(const std::vector<PortState>& ports, int exitStatus);
    // The station could not start: `line` on standard error, then the same wait for the streams.
    bool EndUnstarted(const std::string& line);

  private:
    enum class Mode { kLive, kLines, kJson };
    // False when the text was dropped (only droppable text is).
    bool Out(std::string text, bool droppable);
    StreamWriter& ErrorWriter() { return errWriter_ ? *errWriter_ : outWriter_; }
    bool Finish();
    void DrawNow(const std::vector<PortState>& ports);

    Mode mode_;
    bool quiet_;
    int drawn_ = 0;  // lines of the live view on the screen, the cursor below them
    bool dirty_ = false;
    Clock::time_point lastDrawn_{};
    std::uint64_t lost_ = 0;  // lines that should have gone out, refused by a stalled stream
    StreamWriter outWriter_;
    std::unique_ptr<StreamWriter> errWriter_;  // none when both streams are terminals
};

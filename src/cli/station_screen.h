#pragma once
// What a station writes, and when: with standard output on a terminal the live view
// (station_view.h) redrawn in place, at most every kRedrawInterval; otherwise one plain line per
// event, or with --json one JSON object per line (station_json.h); --quiet leaves only each run's
// end. Notes go to standard error (on a terminal the view is taken away and drawn again below
// them). The summary ends it all.
//
// Main thread only.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "cli/station_state.h"

class StationScreen {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    StationScreen(bool json, bool quiet);

    // `event` changed `ports[event.port]` from `before` to what it is now.
    void Show(const std::vector<PortState>& ports, const PortState& before,
              const StationEvent& event);
    // When the live view is to be drawn next; empty when nothing is due.
    std::optional<Clock::time_point> NextDraw() const;
    // Draws the live view if it is due.
    void Draw(const std::vector<PortState>& ports);
    // The view one last time, then the summary.
    void End(const std::vector<PortState>& ports, int exitStatus);

  private:
    enum class Mode { kLive, kLines, kJson };
    void Out(const std::string& text);
    void Note(const std::vector<PortState>& ports, const std::string& text);
    void DrawNow(const std::vector<PortState>& ports);

    Mode mode_;
    bool quiet_;
    int drawn_ = 0;  // lines of the live view on the screen, the cursor below them
    bool dirty_ = false;
    Clock::time_point lastDrawn_{};
};

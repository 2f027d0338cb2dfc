#pragma once
// Everything qelpupd-cli writes: the device's lines to standard output, the progress, notes and the
// final line to standard error. When both go to the same terminal, a device line takes the progress
// line away, is written, and the progress line is drawn again below it, so that neither breaks the
// other.
//
// Nothing here waits for a stream: the text goes to a writer thread per stream (stream_writer.h;
// one for both when both are terminals, which keeps the screen's order), and a stream that stops
// taking text holds up only its writer. Device lines and progress that do not fit while a stream is
// behind are dropped; the device lines are counted and said once at the end (every line is in the
// run's console log anyway). Final gives the writers a moment to finish and names one that does
// not; the process may then end with that writer still blocked.
//
// Thread contract: any thread; one mutex keeps the pieces whole and in order. The console reader
// writes device lines while the main thread draws the progress. Final on the main thread, last.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "cli/progress_report.h"
#include "cli/stream_writer.h"
#include "update/standard_streams.h"

// How long the end waits for a stream that takes nothing more, and for all of it at most.
inline constexpr std::chrono::milliseconds kStreamIdleLimit{1000};
inline constexpr std::chrono::milliseconds kStreamLimit{3000};

class TerminalOutput {
  public:
    // Looks at whether `out` and `err` (standard output and standard error unless given) are
    // terminals.
    explicit TerminalOutput(bool quiet, int out = kStandardOutput, int err = kStandardError);
    ~TerminalOutput();

    // A device line as the log shows it ("text\r\n"), written to standard output as "text\n".
    void DeviceLine(std::string_view shown);
    // A remark on the way; left out with --quiet.
    void Note(std::string_view line);
    // A problem the operator must hear of (the record, a thread that did not stop); always written.
    void Problem(std::string_view line);
    // The final line; always written, after what is still queued. Waits for the streams, at most
    // kStreamIdleLimit without progress and kStreamLimit in all; false when something stayed
    // unwritten.
    bool Final(std::string_view line);

    // Progress of one transfer; left out with --quiet.
    void BeginProgress();
    void Progress(const ProgressFigures& figures);
    void EndProgress(const ProgressFigures& figures);

  private:
    // Progress text goes only when there is room; notes always.
    void WriteError(std::string_view text, bool droppable);
    StreamWriter& ErrorWriter() { return errWriter_ ? *errWriter_ : outWriter_; }

    const bool quiet_;
    const int out_;
    const int err_;
    const bool outputIsTerminal_;
    const bool errorIsTerminal_;
    std::mutex mutex_;
    ProgressReport report_;
    bool showingProgress_ = false;
    std::uint64_t droppedLines_ = 0;
    StreamWriter outWriter_;
    std::unique_ptr<StreamWriter> errWriter_;  // none when both streams are terminals
};

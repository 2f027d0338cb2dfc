#pragma once
// Everything qelpupd-cli writes: the device's lines to standard output, the progress, notes and the
// final line to standard error. When both go to the same terminal, a device line takes the progress
// line away, is written, and the progress line is drawn again below it, so that neither breaks the
// other.
//
// Thread contract: any thread; one mutex keeps the writes whole and in order. The console reader
// writes device lines while the main thread draws the progress.

#include <mutex>
#include <string>
#include <string_view>

#include "cli/progress_report.h"
#include "update/standard_streams.h"

class TerminalOutput {
  public:
    // Looks at whether standard output and standard error are terminals.
    explicit TerminalOutput(bool quiet);

    // A device line as the log shows it ("text\r\n"), written to standard output as "text\n".
    void DeviceLine(std::string_view shown);
    // A remark on the way; left out with --quiet.
    void Note(std::string_view line);
    // The final line; always written.
    void Final(std::string_view line);

    // Progress of one transfer; left out with --quiet.
    void BeginProgress();
    void Progress(const ProgressFigures& figures);
    void EndProgress(const ProgressFigures& figures);

    bool ErrorIsTerminal() const { return errorIsTerminal_; }

  private:
    void WriteError(std::string_view text);

    const bool quiet_;
    const bool outputIsTerminal_;
    const bool errorIsTerminal_;
    std::mutex mutex_;
    ProgressReport report_;
    bool showingProgress_ = false;
};

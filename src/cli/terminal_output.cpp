#include "cli/terminal_output.h"

TerminalOutput::TerminalOutput(bool quiet, int out, int err)
    : quiet_(quiet),
      out_(out),
      err_(err),
      outputIsTerminal_(IsTerminal(out)),
      errorIsTerminal_(IsTerminal(err)),
      report_(errorIsTerminal_ ? ProgressReport::Mode::kTerminal : ProgressReport::Mode::kLines) {
    if (!(outputIsTerminal_ && errorIsTerminal_)) errWriter_ = std::make_unique<StreamWriter>();
}

TerminalOutput::~TerminalOutput() = default;

void TerminalOutput::DeviceLine(std::string_view shown) {
    std::string line(shown);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    line += '\n';
    std::lock_guard lock(mutex_);
    std::vector<StreamWriter::Piece> pieces;
    const bool sameScreen = showingProgress_ && outputIsTerminal_ && errorIsTerminal_;
    if (sameScreen) pieces.push_back({err_, report_.Clear()});
    pieces.push_back({out_, std::move(line)});
    if (sameScreen) pieces.push_back({err_, report_.Redraw()});
    if (!outWriter_.Put(std::move(pieces), true)) ++droppedLines_;
}

void TerminalOutput::Note(std::string_view line) {
    if (!quiet_) Problem(line);
}

void TerminalOutput::Problem(std::string_view line) {
    std::lock_guard lock(mutex_);
    ErrorWriter().Put({{err_, report_.Clear() + std::string(line) + report_.Redraw()}}, false);
}

bool TerminalOutput::Final(std::string_view line) {
    std::unique_lock lock(mutex_);
    bool written = true;
    std::string before;
    if (errWriter_) {
        // Standard output first, so that what it still owes can be said on standard error.
        lock.unlock();
        written = outWriter_.Finish(kStreamIdleLimit, kStreamLimit);
        lock.lock();
        if (!written) {
            before += "qelpupd-cli: standard output did not take its last " +
                      std::to_string(outWriter_.Waiting()) +
                      " bytes of device lines in time; they are left unwritten (the console log "
                      "has every line)\n";
        }
    }
    if (droppedLines_ > 0) {
        before += "qelpupd-cli: " + std::to_string(droppedLines_) + " device line" +
                  (droppedLines_ == 1 ? " was" : "s were") +
                  " not written to standard output, which did not keep up (the console log has "
                  "every line)\n";
    }
    ErrorWriter().Put({{err_, report_.Clear() + before + std::string(line)}}, false);
    showingProgress_ = false;
    lock.unlock();
    return ErrorWriter().Finish(kStreamIdleLimit, kStreamLimit) && written;
}

void TerminalOutput::BeginProgress() {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    const auto mode =
        errorIsTerminal_ ? ProgressReport::Mode::kTerminal : ProgressReport::Mode::kLines;
    report_ = ProgressReport(mode);
    showingProgress_ = true;
}

void TerminalOutput::Progress(const ProgressFigures& figures) {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    if (auto text = report_.Update(figures)) WriteError(*text, true);
}

void TerminalOutput::EndProgress(const ProgressFigures& figures) {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    WriteError(report_.Finish(figures), false);
    showingProgress_ = false;
}

void TerminalOutput::WriteError(std::string_view text, bool droppable) {
    if (!text.empty()) ErrorWriter().Put({{err_, std::string(text)}}, droppable);
}

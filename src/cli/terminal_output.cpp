#include "cli/terminal_output.h"

TerminalOutput::TerminalOutput(bool quiet)
    : quiet_(quiet),
      outputIsTerminal_(IsTerminal(kStandardOutput)),
      errorIsTerminal_(IsTerminal(kStandardError)),
      report_(errorIsTerminal_ ? ProgressReport::Mode::kTerminal : ProgressReport::Mode::kLines) {}

void TerminalOutput::DeviceLine(std::string_view shown) {
    std::string line(shown);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    line += '\n';
    std::lock_guard lock(mutex_);
    const bool sameScreen = showingProgress_ && outputIsTerminal_ && errorIsTerminal_;
    if (sameScreen) WriteError(report_.Clear());
    WriteAll(kStandardOutput, line);
    if (sameScreen) WriteError(report_.Redraw());
}

void TerminalOutput::Note(std::string_view line) {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    WriteError(report_.Clear());
    WriteError(line);
    WriteError(report_.Redraw());
}

void TerminalOutput::Final(std::string_view line) {
    std::lock_guard lock(mutex_);
    WriteError(report_.Clear());
    showingProgress_ = false;
    WriteError(line);
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
    if (auto text = report_.Update(figures)) WriteError(*text);
}

void TerminalOutput::EndProgress(const ProgressFigures& figures) {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    WriteError(report_.Finish(figures));
    showingProgress_ = false;
}

void TerminalOutput::WriteError(std::string_view text) {
    if (!text.empty()) WriteAll(kStandardError, text);
}

#include "cli/station_screen.h"

#include "cli/station_json.h"
#include "cli/station_view.h"
#include "cli/terminal_output.h"
#include "update/standard_streams.h"

namespace {

constexpr int kDefaultColumns = 80;

// A line as wide as the terminal would wrap on some terminals: one column is left free.
int ViewWidth() {
    const int columns = TerminalColumns(kStandardOutput);
    return (columns > 1 ? columns : kDefaultColumns) - 1;
}

}  // namespace

StationScreen::StationScreen(bool json, bool quiet)
    : mode_(json                          ? Mode::kJson
            : quiet                       ? Mode::kLines
            : IsTerminal(kStandardOutput) ? Mode::kLive
                                          : Mode::kLines),
      quiet_(quiet) {
    if (!(IsTerminal(kStandardOutput) && IsTerminal(kStandardError)))
        errWriter_ = std::make_unique<StreamWriter>();
}

bool StationScreen::Out(std::string text, bool droppable) {
    if (outWriter_.Put({{kStandardOutput, std::move(text)}}, droppable)) return true;
    if (!droppable) ++lost_;
    return false;
}

void StationScreen::Show(const std::vector<PortState>& ports, const PortState& before,
                         const StationEvent& event) {
    const PortState& port = ports[event.port];
    if (event.kind == StationEvent::Kind::kNote) {
        if (mode_ == Mode::kJson) Out(EventJson(port, event), false);
        Note(ports, "qelpupd-cli: " + port.name + ": " + event.reason + "\n");
        return;
    }
    if (mode_ == Mode::kLive) {
        dirty_ = true;
        return;
    }
    if (quiet_ && event.kind != StationEvent::Kind::kEnded) return;
    if (!Newsworthy(before, event)) return;
    // The figures of a transfer go when there is room; the rest always.
    Out(mode_ == Mode::kJson ? EventJson(port, event) : EventLine(port, event),
        event.kind == StationEvent::Kind::kProgress);
}

void StationScreen::Note(const std::vector<PortState>& ports, const std::string& text) {
    if (mode_ != Mode::kLive || errWriter_) {
        ErrorWriter().Put({{kStandardError, text}}, false);
        return;
    }
    // Standard error shares the terminal: the note goes above the view, which is drawn again
    // below it.
    outWriter_.Put({{kStandardOutput, RedrawText(drawn_, {})}, {kStandardError, text}}, false);
    drawn_ = 0;
    DrawNow(ports);
}

std::optional<StationScreen::Clock::time_point> StationScreen::NextDraw() const {
    if (mode_ != Mode::kLive || !dirty_) return std::nullopt;
    return lastDrawn_ + kRedrawInterval;
}

void StationScreen::Draw(const std::vector<PortState>& ports) {
    if (mode_ == Mode::kLive && dirty_ && Clock::now() >= lastDrawn_ + kRedrawInterval)
        DrawNow(ports);
}

void StationScreen::DrawNow(const std::vector<PortState>& ports) {
    const std::vector<std::string> lines = ViewLines(ports, ViewWidth());
    // A redraw that does not fit waits for the next: the view then still has its old lines.
    if (Out(RedrawText(drawn_, lines), true)) drawn_ = static_cast<int>(lines.size());
    dirty_ = false;
    lastDrawn_ = Clock::now();
}

bool StationScreen::End(const std::vector<PortState>& ports, int exitStatus) {
    if (mode_ == Mode::kJson) {
        Out(SummaryJson(ports, exitStatus, std::chrono::system_clock::now()), false);
    } else {
        if (mode_ == Mode::kLive) {
            Out(RedrawText(drawn_, ViewLines(ports, ViewWidth())), false);
        }
        Out("\n" + SummaryTable(ports), false);
    }
    return Finish();
}

bool StationScreen::EndUnstarted(const std::string& line) {
    ErrorWriter().Put({{kStandardError, line}}, false);
    return Finish();
}

bool StationScreen::Finish() {
    if (lost_ > 0) {
        ErrorWriter().Put(
            {{kStandardError, "qelpupd-cli: standard output fell behind: " + std::to_string(lost_) +
                                  " of the station's lines were not written; the "
                                  "update records hold every run\n"}},
            false);
    }
    bool written = outWriter_.Finish(kStreamIdleLimit, kStreamLimit);
    if (!written && errWriter_) {
        errWriter_->Put({{kStandardError, "qelpupd-cli: standard output did not take its last " +
                                              std::to_string(outWriter_.Waiting()) +
                                              " bytes in time; they are left unwritten\n"}},
                        false);
    }
    if (errWriter_) written = errWriter_->Finish(kStreamIdleLimit, kStreamLimit) && written;
    return written;
}

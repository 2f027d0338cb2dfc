#include "cli/station_screen.h"

#include "cli/station_json.h"
#include "cli/station_view.h"
#include "update/standard_streams.h"

namespace {

constexpr int kDefaultColumns = 80;

}  // namespace

StationScreen::StationScreen(bool json, bool quiet)
    : mode_(json                          ? Mode::kJson
            : quiet                       ? Mode::kLines
            : IsTerminal(kStandardOutput) ? Mode::kLive
                                          : Mode::kLines),
      quiet_(quiet) {}

void StationScreen::Out(const std::string& text) {
    // A standard output that no longer takes the lines leaves the records as they are.
    (void)WriteAll(kStandardOutput, text);
}

void StationScreen::Show(const std::vector<PortState>& ports, const PortState& before,
                         const StationEvent& event) {
    const PortState& port = ports[event.port];
    if (event.kind == StationEvent::Kind::kNote) {
        if (mode_ == Mode::kJson) Out(EventJson(port, event));
        Note(ports, "qelpupd-cli: " + port.name + ": " + event.reason + "\n");
        return;
    }
    if (mode_ == Mode::kLive) {
        dirty_ = true;
        return;
    }
    if (quiet_ && event.kind != StationEvent::Kind::kEnded) return;
    if (!Newsworthy(before, event)) return;
    Out(mode_ == Mode::kJson ? EventJson(port, event) : EventLine(port, event));
}

void StationScreen::Note(const std::vector<PortState>& ports, const std::string& text) {
    const bool live = mode_ == Mode::kLive && drawn_ > 0;
    // Standard error usually shares the terminal: the view moves below the note.
    if (live) Out(RedrawText(drawn_, {}));
    drawn_ = 0;
    (void)WriteAll(kStandardError, text);
    if (live) DrawNow(ports);
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
    const int columns = TerminalColumns(kStandardOutput);
    // A line as wide as the terminal would wrap on some terminals: one column is left free.
    const std::vector<std::string> lines =
        ViewLines(ports, (columns > 1 ? columns : kDefaultColumns) - 1);
    Out(RedrawText(drawn_, lines));
    drawn_ = static_cast<int>(lines.size());
    dirty_ = false;
    lastDrawn_ = Clock::now();
}

void StationScreen::End(const std::vector<PortState>& ports, int exitStatus) {
    if (mode_ == Mode::kJson) {
        Out(SummaryJson(ports, exitStatus, std::chrono::system_clock::now()));
        return;
    }
    if (mode_ == Mode::kLive) DrawNow(ports);
    Out("\n" + SummaryTable(ports));
}

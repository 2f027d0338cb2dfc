#include "cli/station_state.h"

void ApplyEvent(PortState& state, const StationEvent& event) {
    using Kind = StationEvent::Kind;
    switch (event.kind) {
        case Kind::kAbsent:
            state.phase = PortPhase::kAbsent;
            state.reason = event.reason;
            return;
        case Kind::kUnavailable:
            state.phase = PortPhase::kUnavailable;
            state.reason = event.reason;
            return;
        case Kind::kWaiting:
            state.phase = PortPhase::kWaiting;
            state.device = event.device;
            state.reason.clear();
            state.opened = true;
            return;
        case Kind::kDevice:
        case Kind::kBegan:
            state.phase = PortPhase::kReceiving;
            state.run = event.run;
            state.progress = {};
            return;
        case Kind::kProgress:
            // The transfer's end comes as figures too: the device's word is awaited then.
            state.phase = event.progress.sent >= event.progress.total && event.progress.total > 0
                              ? PortPhase::kReceiving
                              : PortPhase::kSending;
            state.run = event.run;
            state.progress = event.progress;
            return;
        case Kind::kEnded:
            state.phase = PortPhase::kWaiting;
            state.run = event.run;
            state.last = event.ended;
            state.lastRun = event.run;
            state.lastEnd = event.time;
            if (event.ended && event.ended->Succeeded())
                ++state.succeeded;
            else
                ++state.failed;
            return;
        case Kind::kClosed:
            state.phase = PortPhase::kClosed;
            return;
        case Kind::kNote:
            return;
    }
}

std::string NoteText(std::string_view line) {
    constexpr std::string_view kProgram = "qelpupd-cli: ";
    if (line.starts_with(kProgram)) line.remove_prefix(kProgram.size());
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return std::string(line);
}

bool Newsworthy(const PortState& before, const StationEvent& event) {
    if (event.kind != StationEvent::Kind::kProgress) return true;
    const int step = ProgressPercent(event.progress.sent, event.progress.total) / 10;
    const bool sameRun = before.run == event.run && before.phase == PortPhase::kSending;
    const int stepBefore =
        sameRun ? ProgressPercent(before.progress.sent, before.progress.total) / 10 : -1;
    return step > stepBefore;
}

StationTotals Totals(const std::vector<PortState>& ports) {
    StationTotals totals;
    for (const PortState& port : ports) {
        totals.succeeded += port.succeeded;
        totals.failed += port.failed;
    }
    return totals;
}

int StationExitStatus(const std::vector<PortState>& ports, bool stopped) {
    if (stopped) return 130;
    bool anyOpened = false;
    for (const PortState& port : ports) anyOpened |= port.opened;
    if (!anyOpened) return 2;
    return Totals(ports).failed > 0 ? 1 : 0;
}

#include "cli/station_json.h"

#include <cstdio>

#include "res/message_texts.h"
#include "update/json_text.h"

namespace {

const char* EventName(StationEvent::Kind kind) {
    using Kind = StationEvent::Kind;
    switch (kind) {
        case Kind::kAbsent:
            return "port-absent";
        case Kind::kUnavailable:
            return "port-unavailable";
        case Kind::kWaiting:
            return "waiting";
        case Kind::kDevice:
            return "device";
        case Kind::kBegan:
            return "run-began";
        case Kind::kProgress:
            return "sending";
        case Kind::kEnded:
            return "run-ended";
        case Kind::kClosed:
            return "port-closed";
        case Kind::kNote:
            return "note";
    }
    return "waiting";
}

const char* OutcomeName(const RunEndReport& report) {
    if (report.Succeeded()) return "succeeded";
    if (report.timedOut) return "timed-out";
    return report.outcome == RecordedOutcome::kFailed ? "failed" : "stopped";
}

void AddString(std::string& out, const char* key, const std::string& value) {
    out += ",\"";
    out += key;
    out += "\":";
    AppendJsonString(out, value);
}

void AddNumber(std::string& out, const char* key, long long value) {
    out += ",\"";
    out += key;
    out += "\":" + std::to_string(value);
}

void AddCounts(std::string& out, int runs, int succeeded, int failed) {
    AddNumber(out, "runs", runs);
    AddNumber(out, "succeeded", succeeded);
    AddNumber(out, "failed", failed);
}

}  // namespace

std::string EventJson(const PortState& port, const StationEvent& event) {
    using Kind = StationEvent::Kind;
    std::string out = "{\"event\":";
    AppendJsonString(out, EventName(event.kind));
    AddString(out, "time", IsoLocalTime(event.time));
    AddString(out, "port", port.name);
    switch (event.kind) {
        case Kind::kAbsent:
        case Kind::kUnavailable:
            AddString(out, "reason", event.reason);
            break;
        case Kind::kNote:
            AddString(out, "text", event.reason);
            break;
        case Kind::kWaiting:
            AddString(out, "device", event.device);
            break;
        case Kind::kDevice:
        case Kind::kBegan:
            AddNumber(out, "run", event.run);
            break;
        case Kind::kProgress:
            AddNumber(out, "run", event.run);
            AddNumber(out, "percent", ProgressPercent(event.progress.sent, event.progress.total));
            AddNumber(out, "sent", static_cast<long long>(event.progress.sent));
            AddNumber(out, "total", static_cast<long long>(event.progress.total));
            break;
        case Kind::kEnded: {
            const RunEndReport& ended = *event.ended;
            AddNumber(out, "run", event.run);
            AddString(out, "outcome", OutcomeName(ended));
            out += ",\"message\":" + (ended.message != 0 ? std::to_string(ended.message) : "null");
            out += ",\"text\":";
            if (ended.message != 0)
                AppendJsonString(out, res::FindMessageText(ended.message));
            else
                out += "null";
            AddString(out, "ended_by", ended.endedBy);
            out += ",\"detail\":";
            if (ended.detail.empty())
                out += "null";
            else
                AppendJsonString(out, ended.detail);
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.3f",
                          static_cast<double>(ended.duration.count()) / 1000);
            out += ",\"seconds\":";
            out += seconds;
            // The record's own line, an object already: passed on as it is, not built again.
            out += ",\"record\":" + (ended.record.empty() ? std::string("null") : ended.record);
            AddCounts(out, port.Runs(), port.succeeded, port.failed);
            break;
        }
        case Kind::kClosed:
            AddCounts(out, port.Runs(), port.succeeded, port.failed);
            break;
    }
    return out + "}\n";
}

std::string SummaryJson(const std::vector<PortState>& ports, int exitStatus,
                        std::chrono::system_clock::time_point time) {
    std::string out = "{\"event\":\"summary\"";
    AddString(out, "time", IsoLocalTime(time));
    out += ",\"ports\":[";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        out += i == 0 ? "{\"port\":" : ",{\"port\":";
        AppendJsonString(out, ports[i].name);
        AddCounts(out, ports[i].Runs(), ports[i].succeeded, ports[i].failed);
        out += "}";
    }
    out += "]";
    const StationTotals totals = Totals(ports);
    AddCounts(out, totals.Runs(), totals.succeeded, totals.failed);
    AddNumber(out, "exit_status", exitStatus);
    return out + "}\n";
}

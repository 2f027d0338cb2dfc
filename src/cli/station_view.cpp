#include "cli/station_view.h"

#include <algorithm>
#include <cstdio>

#include "cli/outcome.h"
#include "res/message_texts.h"

namespace {

constexpr int kNameLimit = 40;  // longer names keep their end, where ports differ

// The length in bytes of the UTF-8 sequence that starts with `lead`; 1 for a stray byte.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

char32_t CodePoint(std::string_view text, std::size_t at, std::size_t length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    switch (length) {
        case 2:
            return char32_t(byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
        case 3:
            return char32_t(byte(0) & 0x0F) << 12 | char32_t(byte(1) & 0x3F) << 6 |
                   (byte(2) & 0x3F);
        case 4:
            return char32_t(byte(0) & 0x07) << 18 | char32_t(byte(1) & 0x3F) << 12 |
                   char32_t(byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
        default:
            return byte(0);
    }
}

// East Asian wide and fullwidth characters (the ranges terminals draw two columns wide); the
// half-width katakana of the message texts are one column.
int ColumnsOf(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

std::string Padded(std::string text, int columns, bool right = false) {
    const int width = DisplayWidth(text);
    if (width >= columns) return text;
    const std::string fill(static_cast<std::size_t>(columns - width), ' ');
    return right ? fill + text : text + fill;
}

// A long name keeps its end: "…-usb-0:1.2:1.0-port0".
std::string ShortName(const std::string& name) {
    if (DisplayWidth(name) <= kNameLimit) return name;
    std::size_t at = name.size();
    int width = 0;
    while (at > 0 && width < kNameLimit - 1) {
        --at;
        while (at > 0 && (static_cast<unsigned char>(name[at]) & 0xC0) == 0x80) --at;
        width +=
            ColumnsOf(CodePoint(name, at, SequenceLength(static_cast<unsigned char>(name[at]))));
    }
    return "\u2026" + name.substr(at);
}

std::string Seconds(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000);
    return text;
}

// "22:30:08" in local time.
std::string ClockTime(std::chrono::system_clock::time_point time) {
    return IsoLocalTime(time).substr(11, 8);
}

// "run 3 succeeded (Versionup succeed) in 12.3 s at 22:30:08
// アップデート作業は正常に終了しました。"
std::string LastRunText(const PortState& port) {
    const RunEndReport& last = *port.last;
    std::string text = "run " + std::to_string(port.lastRun) + " " + RunEndWords(last) + " in " +
                       Seconds(last.duration) + " at " + ClockTime(port.lastEnd);
    if (last.message != 0) text += " " + OneLine(res::FindMessageText(last.message));
    return text;
}

std::string StateText(const PortState& port) {
    const std::string run = "run " + std::to_string(port.run) + ": ";
    std::string text;
    switch (port.phase) {
        case PortPhase::kAbsent:
            text = "absent, waiting for it to appear";
            break;
        case PortPhase::kUnavailable:
            text = "cannot be opened, trying again: " + port.reason;
            break;
        case PortPhase::kWaiting:
            text = "waiting for a device";
            break;
        case PortPhase::kReceiving:
            text = run + (port.progress.total > 0 && port.progress.sent >= port.progress.total
                              ? "data sent, waiting for the device's word"
                              : "receiving");
            break;
        case PortPhase::kSending:
            return run + "sending " + FormatProgress(port.progress);
        case PortPhase::kClosed:
            text = "closed";
            break;
    }
    const bool idle = port.phase != PortPhase::kReceiving;
    if (idle && port.last) text += "; last: " + LastRunText(port);
    return text;
}

}  // namespace

int DisplayWidth(std::string_view text) {
    int width = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length =
            std::min(SequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
        width += ColumnsOf(CodePoint(text, at, length));
        at += length;
    }
    return width;
}

std::string FitToColumns(std::string_view text, int columns) {
    int width = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length =
            std::min(SequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
        const int next = ColumnsOf(CodePoint(text, at, length));
        if (width + next > columns) break;
        width += next;
        at += length;
    }
    return std::string(text.substr(0, at));
}

std::string RunEndWords(const RunEndReport& report) {
    std::string words;
    if (report.Succeeded()) {
        words = "succeeded";
    } else if (report.timedOut) {
        return "timed out";
    } else if (report.outcome == RecordedOutcome::kClosedByOperator) {
        words = "stopped";
    } else {
        words = "failed";
    }
    const std::string& why =
        report.detail.empty() && report.endedBy != "device" ? report.endedBy : report.detail;
    return why.empty() ? words : words + " (" + why + ")";
}

std::vector<std::string> ViewLines(const std::vector<PortState>& ports, int columns) {
    int nameWidth = 4;
    int deviceWidth = 6;
    for (const PortState& port : ports) {
        nameWidth = std::max(nameWidth, DisplayWidth(ShortName(port.name)));
        deviceWidth = std::max(deviceWidth, DisplayWidth(port.device));
    }
    const auto row = [&](const std::string& name, const std::string& device,
                         const std::string& runs, const std::string& ok, const std::string& failed,
                         const std::string& state) {
        return FitToColumns(Padded(name, nameWidth) + "  " + Padded(device, deviceWidth) + "  " +
                                Padded(runs, 4, true) + "  " + Padded(ok, 4, true) + "  " +
                                Padded(failed, 6, true) + "  " + state,
                            columns);
    };
    std::vector<std::string> lines{row("PORT", "DEVICE", "RUNS", "OK", "FAILED", "STATE")};
    for (const PortState& port : ports) {
        lines.push_back(row(ShortName(port.name), port.device.empty() ? "-" : port.device,
                            std::to_string(port.Runs()), std::to_string(port.succeeded),
                            std::to_string(port.failed), StateText(port)));
    }
    return lines;
}

std::string RedrawText(int drawnBefore, const std::vector<std::string>& lines) {
    // CSI n F: to the start of the line n lines up; CSI K: clear to the line's end; CSI J: clear
    // below. Windows consoles take them once virtual terminal processing is on.
    std::string text;
    if (drawnBefore > 0) text += "\x1b[" + std::to_string(drawnBefore) + "F";
    for (const std::string& line : lines) text += line + "\x1b[K\n";
    if (static_cast<int>(lines.size()) < drawnBefore) text += "\x1b[J";
    return text;
}

std::string EventLine(const PortState& port, const StationEvent& event) {
    using Kind = StationEvent::Kind;
    const std::string run = "run " + std::to_string(event.run) + ": ";
    std::string text;
    switch (event.kind) {
        case Kind::kAbsent:
            text = "absent" + (event.reason.empty() ? "" : " (" + event.reason + ")") +
                   ", waiting for it to appear";
            break;
        case Kind::kUnavailable:
            text = "cannot be opened, trying again: " + event.reason;
            break;
        case Kind::kWaiting:
            text = "open (" + event.device + "), waiting for a device";
            break;
        case Kind::kDevice:
            text = run + "receiving";
            break;
        case Kind::kBegan:
            text = run + "the device asked for the data";
            break;
        case Kind::kProgress:
            text = run + "sending " + FormatProgress(event.progress);
            break;
        case Kind::kEnded:
            text = run + "update " + RunEndWords(*event.ended) + " in " +
                   Seconds(event.ended->duration) + ".";
            if (event.ended->message != 0)
                text += " " + OneLine(res::FindMessageText(event.ended->message));
            break;
        case Kind::kClosed:
            text = "closed after " + std::to_string(port.Runs()) + " run" +
                   (port.Runs() == 1 ? "" : "s") + " (" + std::to_string(port.succeeded) +
                   " succeeded, " + std::to_string(port.failed) + " failed)";
            break;
        case Kind::kNote:
            text = event.reason;
            break;
    }
    return ClockTime(event.time) + " " + port.name + ": " + text + "\n";
}

std::string SummaryTable(const std::vector<PortState>& ports) {
    int nameWidth = 5;
    for (const PortState& port : ports) nameWidth = std::max(nameWidth, DisplayWidth(port.name));
    const auto row = [&](const std::string& name, const std::string& runs, const std::string& ok,
                         const std::string& failed) {
        return Padded(name, nameWidth) + "  " + Padded(runs, 5, true) + "  " + Padded(ok, 9, true) +
               "  " + Padded(failed, 6, true) + "\n";
    };
    std::string table = row("PORT", "RUNS", "SUCCEEDED", "FAILED");
    for (const PortState& port : ports) {
        table += row(port.name, std::to_string(port.Runs()), std::to_string(port.succeeded),
                     std::to_string(port.failed));
    }
    const StationTotals totals = Totals(ports);
    return table + row("total", std::to_string(totals.Runs()), std::to_string(totals.succeeded),
                       std::to_string(totals.failed));
}

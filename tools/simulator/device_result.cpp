#include "simulator/device_result.h"

#include <string_view>

#include "simulator/transcript.h"
#include "update/json_text.h"

namespace qelp::sim {
namespace {

void addKey(std::string& out, std::string_view key) {
    if (out.size() > 1) out += ',';
    AppendJsonString(out, key);
    out += ':';
}

void addText(std::string& out, std::string_view key, const std::optional<std::string>& value) {
    addKey(out, key);
    if (value) {
        AppendJsonString(out, *value);
    } else {
        out += "null";
    }
}

void addNumber(std::string& out, std::string_view key, std::optional<long long> value) {
    addKey(out, key);
    out += value ? std::to_string(*value) : std::string("null");
}

}  // namespace

std::string resultJson(const DeviceResult& r) {
    std::string out = "{";
    addText(out, "port", r.port);
    addText(out, "pty", r.pty);
    addNumber(out, "device", static_cast<long long>(r.place));
    addText(out, "scenario", std::string(scenarioName(r.scenario)));
    addKey(out, "ok");
    out += r.verdict.exitCode == kExitMatch ? "true" : "false";
    addText(out, "result", r.verdict.line);
    addNumber(out, "transfers", static_cast<long long>(r.transfers));
    addNumber(out, "bytes", static_cast<long long>(r.bytes));
    addText(out, "sha256", r.sha256);
    addKey(out, "whole");
    out += r.whole ? (*r.whole ? "true" : "false") : "null";
    addText(out, "end_word", r.endWord);
    const auto ms = [](const std::optional<std::chrono::milliseconds>& t) {
        return t ? std::optional<long long>(t->count()) : std::nullopt;
    };
    addNumber(out, "requested_ms", ms(r.requested));
    addNumber(out, "ended_ms", ms(r.ended));
    addNumber(out, "took_ms", r.requested && r.ended ? ms(*r.ended - *r.requested) : std::nullopt);
    return out + "}";
}

std::string endWordOf(std::string_view endLine) {
    if (endLine.ends_with('\n')) endLine.remove_suffix(1);
    if (endLine.ends_with('\r')) endLine.remove_suffix(1);
    return escapeBytes(endLine);
}

}  // namespace qelp::sim

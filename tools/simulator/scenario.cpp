#include "simulator/scenario.h"

#include <algorithm>
#include <array>

namespace qelp::sim {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

constexpr std::array kScenarios{
    ScenarioInfo{Scenario::kSuccess, "success"sv,
                 "asks for the data, receives it, prints \"Versionup succeed\""sv},
    ScenarioInfo{Scenario::kRecordHeader, "record-header"sv,
                 "receives the data, then reports \"record header error ...\" (a failed update)"sv},
    ScenarioInfo{Scenario::kBootmodeError, "bootmode-error"sv,
                 "receives the data, then prints \"bootmode=ERROR\" (a failed update)"sv},
    ScenarioInfo{Scenario::kChecksumError, "checksum-error"sv,
                 "receives the data, then prints \"record end check sum error\""sv},
    ScenarioInfo{Scenario::kWarning, "warning"sv,
                 "receives the data, then prints \"Warning! application ...\""sv},
    ScenarioInfo{Scenario::kSilent, "silent"sv,
                 "prints its boot lines and never asks for the data"sv},
    ScenarioInfo{Scenario::kTwice, "twice"sv,
                 "asks for the data, receives it, asks again and expects the whole file once "
                 "more from its first byte, then succeeds"sv},
    ScenarioInfo{Scenario::kHangup, "hangup"sv,
                 "closes its end of the line in the middle of the transfer (see --hangup-after)"sv},
    ScenarioInfo{Scenario::kStall, "stall"sv,
                 "stops reading in the middle of the transfer, so the tool's writes cannot "
                 "drain (see --stall-after); stays until the tool closes the port"sv},
    ScenarioInfo{Scenario::kNoise, "noise"sv,
                 "mixes bytes the tool must drop (0x00, 0x80-0xFF, a lone CR) into its lines, "
                 "then succeeds"sv},
    ScenarioInfo{Scenario::kVanish, "vanish"sv,
                 "its USB adapter is pulled in the middle of the transfer (see --hangup-after): "
                 "the line hangs up and the link goes; it comes back on a new terminal after "
                 "--vanish-ms for the next device of the list"sv},
};

// Neither line carries any of the device's keywords; the CRLF ones check that the tool drops CR.
std::vector<std::string> plainBootLines() {
    return {"QELP boot loader v2.04 (2003/11/20)\n", "Copyright (C) QELP Corporation\r\n",
            "RAM check ... OK\n", "Flash ROM 2048KB ... OK\r\n", "Waiting for update data\n"};
}

std::vector<std::string> noisyBootLines() {
    return {"QELP boot\r loader v2.04\x00 (2003/11/20)\n"s,
            "\xE9\x80"
            "Copyright (C) QELP\xFF Corporation\r\n"s,
            "RAM check\r\r ... OK\n"s, "\x00\x81\xFE\r\n"s, "Flash ROM 2048KB\x90 ... OK\r\n"s};
}

std::string endLineFor(Scenario scenario) {
    switch (scenario) {
        case Scenario::kSuccess:
        case Scenario::kTwice:
            return "Versionup succeed\n";
        case Scenario::kRecordHeader:
            return "record header error (record 1)\n";
        case Scenario::kBootmodeError:
            return "bootmode=ERROR\n";
        case Scenario::kChecksumError:
            return "record end check sum error\n";
        case Scenario::kWarning:
            return "Warning! application area is older than the boot loader\n";
        case Scenario::kNoise:
            // Keywords split by bytes the console drops must still match once those are gone.
            return "Version\x80up succ\x00"
                   "eed\r\n"s;
        case Scenario::kSilent:
        case Scenario::kHangup:
        case Scenario::kStall:
        case Scenario::kVanish:
            return {};
    }
    return {};
}

}  // namespace

std::span<const ScenarioInfo> scenarioTable() {
    return kScenarios;
}

std::optional<Scenario> scenarioFromName(std::string_view name) {
    const auto found = std::find_if(kScenarios.begin(), kScenarios.end(),
                                    [name](const ScenarioInfo& info) { return info.name == name; });
    if (found == kScenarios.end()) return std::nullopt;
    return found->scenario;
}

std::string_view scenarioName(Scenario scenario) {
    for (const ScenarioInfo& info : kScenarios) {
        if (info.scenario == scenario) return info.name;
    }
    return "?";
}

Script scriptFor(Scenario scenario) {
    Script script;
    script.bootLines = scenario == Scenario::kNoise ? noisyBootLines() : plainBootLines();
    script.dataRequest =
        scenario == Scenario::kNoise ? "boot\xE9mode=DATA\x00WAIT\n"s : "bootmode=DATAWAIT\n"s;
    script.endLine = endLineFor(scenario);
    switch (scenario) {
        case Scenario::kSilent:
            script.dataRequests = 0;
            break;
        case Scenario::kTwice:
            script.dataRequests = 2;
            break;
        case Scenario::kHangup:
            script.interruption = Interruption::kHangUp;
            break;
        case Scenario::kStall:
            script.interruption = Interruption::kStopReading;
            break;
        case Scenario::kVanish:
            script.interruption = Interruption::kPullAdapter;
            break;
        default:
            break;
    }
    return script;
}

}  // namespace qelp::sim

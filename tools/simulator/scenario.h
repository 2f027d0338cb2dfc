#pragma once
// What the simulated device says and does in each scenario, as plain data. The session
// (device_session.h) plays a Script over the pseudo-terminal; nothing here does any I/O.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qelp::sim {

enum class Scenario {
    kSuccess,
    kRecordHeader,
    kBootmodeError,
    kChecksumError,
    kWarning,
    kSilent,
    kTwice,
    kHangup,
    kStall,
    kNoise,
    kVanish,
};

struct ScenarioInfo {
    Scenario scenario;
    std::string_view name;         // as given to --scenario
    std::string_view description;  // one line for --help
};

std::span<const ScenarioInfo> scenarioTable();
std::optional<Scenario> scenarioFromName(std::string_view name);
std::string_view scenarioName(Scenario scenario);

// How the first transfer is cut short, at the byte count the options give. kHangUp and kPullAdapter
// both close the device's end; only a pulled adapter comes back (the port's row goes on).
enum class Interruption { kNone, kHangUp, kStopReading, kPullAdapter };

struct Script {
    std::vector<std::string> bootLines;  // each carries its own line end (LF or CRLF)
    std::string dataRequest;             // the line that asks for the data file
    int dataRequests = 1;                // 0: never asks; 2: asks again after the first transfer
    Interruption interruption = Interruption::kNone;
    std::string endLine;  // empty: the scenario never reaches an end line
};

Script scriptFor(Scenario scenario);

}  // namespace qelp::sim

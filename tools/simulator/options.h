#pragma once
// The command line of qelp-device-simulator, parsed into plain values. No I/O: the caller prints
// the help text or the error and picks the exit code (2 for a rejected command line).

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "simulator/scenario.h"

namespace qelp::sim {

struct Options {
    Scenario scenario = Scenario::kSuccess;
    std::string dataFile;  // empty: count and hash whatever arrives
    std::string linkPath;  // empty: no symlink to the slave
    std::string holdFile;  // empty: ask for the data at once after the boot lines
    bool pace = false;
    std::chrono::milliseconds idle{1500};
    std::chrono::milliseconds linger{60000};
    std::chrono::milliseconds bootDelay{50};
    std::chrono::milliseconds waitOpen{60000};
    std::optional<std::size_t> hangupAfter;  // empty: half the data file
    std::optional<std::size_t> stallAfter;   // empty: half the data file
    std::size_t extraLines = 0;              // lines of no consequence after the boot lines
};

struct ParsedCommandLine {
    enum class Action { kRun, kShowHelp, kReject };
    Action action = Action::kRun;
    Options options;
    std::string error;  // why the command line was rejected
};

// `args` excludes the program name. Accepts "--name value" and "--name=value".
ParsedCommandLine parseCommandLine(std::span<const std::string_view> args);

std::string helpText();

// Where the first transfer is cut short in the hangup and stall scenarios.
constexpr std::size_t kDefaultCutWithoutData = 1000;
std::size_t cutPoint(std::optional<std::size_t> given, std::optional<std::size_t> dataSize);

}  // namespace qelp::sim

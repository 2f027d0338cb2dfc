#pragma once
// The command line of qelp-device-simulator, parsed into plain values. No I/O: the caller prints
// the help text or the error and picks the exit code (2 for a rejected command line).

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/scenario.h"

namespace qelp::sim {

struct Options {
    // The devices that follow each other on every port, in order.
    std::vector<Scenario> scenarios{Scenario::kSuccess};
    std::string dataFile;                // empty: count and hash whatever arrives
    std::vector<std::string> linkPaths;  // one port each; none: one port without a symlink
    std::string holdFile;                // empty: ask for the data at once after the boot lines
    bool pace = false;
    std::chrono::milliseconds idle{1500};
    std::chrono::milliseconds linger{60000};
    std::chrono::milliseconds bootDelay{50};
    std::chrono::milliseconds waitOpen{60000};
    std::chrono::milliseconds between{1000};    // from one device's end to the next one's boot
    std::chrono::milliseconds vanishFor{1000};  // how long a pulled adapter stays away
    std::chrono::milliseconds appearAfter{0};   // when the symlinks are made
    std::optional<std::size_t> hangupAfter;     // empty: half the data file
    std::optional<std::size_t> stallAfter;      // empty: half the data file
    std::size_t extraLines = 0;                 // lines of no consequence after the boot lines
};

struct ParsedCommandLine {
    enum class Action { kRun, kShowHelp, kReject };
    Action action = Action::kRun;
    Options options;
    std::string error;  // why the command line was rejected
};

std::size_t portCount(const Options& options);

// `args` excludes the program name. Accepts "--name value" and "--name=value".
ParsedCommandLine parseCommandLine(std::span<const std::string_view> args);

std::string helpText();

// Where the first transfer is cut short in the hangup and stall scenarios.
constexpr std::size_t kDefaultCutWithoutData = 1000;
std::size_t cutPoint(std::optional<std::size_t> given, std::optional<std::size_t> dataSize);

}  // namespace qelp::sim

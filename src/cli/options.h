#pragma once
// The command line of qelpupd-cli, parsed into plain values. No I/O: main prints the usage or the
// error and ends with the status for a run that could not start.

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct CliOptions {
    std::string port = "COM1";  // "COM1", "COM2" (mapped as the window program maps them) or a path
    // Every --port given, in order: the ports a station serves (empty: every serial port found).
    std::vector<std::string> ports;
    std::string dataFile;  // empty: found in the current folder as the window program finds it
    std::optional<std::chrono::milliseconds>
        timeout;         // empty: the run may take as long as it takes
    bool quiet = false;  // only the device's lines and the final line
    // A station: serves the ports side by side, one device after another (cli/station.h).
    bool station = false;
    std::optional<int> runs;  // a station's port ends after this many runs; empty: never
    bool json = false;        // a station writes JSON Lines instead of text
};

struct ParsedOptions {
    enum class Action { kRun, kListPorts, kShowHelp, kShowVersion, kReject };
    Action action = Action::kRun;
    CliOptions options;
    std::string error;  // why the command line was rejected, for "qelpupd-cli: <error>"
};

// The longest --timeout taken: a week, far beyond any update, short of overflowing a deadline.
inline constexpr double kMaxTimeoutSeconds = 7 * 24 * 3600.0;

// The most --runs taken: far beyond any production line, short of overflowing a count.
inline constexpr int kMaxRuns = 1'000'000;

// `args` excludes the program name. Takes "--name value" and "--name=value".
ParsedOptions ParseOptions(std::span<const std::string_view> args);

std::string UsageText();

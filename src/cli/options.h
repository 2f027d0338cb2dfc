#pragma once
// The command line of qelpupd-cli, parsed into plain values. No I/O: main prints the usage or the
// error and ends with the status for a run that could not start.

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct CliOptions {
    std::string port = "COM1";  // "COM1", "COM2" (mapped as the window program maps them) or a path
    std::string dataFile;       // empty: found in the current folder as the window program finds it
    std::optional<std::chrono::milliseconds>
        timeout;         // empty: the run may take as long as it takes
    bool quiet = false;  // only the device's lines and the final line
};

struct ParsedOptions {
    enum class Action { kRun, kListPorts, kShowHelp, kShowVersion, kReject };
    Action action = Action::kRun;
    CliOptions options;
    std::string error;  // why the command line was rejected, for "qelpupd-cli: <error>"
};

// The longest --timeout taken: a week, far beyond any update, short of overflowing a deadline.
inline constexpr double kMaxTimeoutSeconds = 7 * 24 * 3600.0;

// `args` excludes the program name. Takes "--name value" and "--name=value".
ParsedOptions ParseOptions(std::span<const std::string_view> args);

std::string UsageText();

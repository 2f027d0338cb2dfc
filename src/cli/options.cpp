#include "cli/options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <system_error>

namespace {

using Action = ParsedOptions::Action;

// Parses one option's value into `options`; returns why the value is wrong, or empty.
using ValueParser = std::function<std::string(std::string_view, CliOptions&)>;

struct OptionEntry {
    std::string_view name;
    ValueParser parseValue;  // empty: a switch, or an option that picks an action
    Action action = Action::kRun;
    bool CliOptions::*flag = nullptr;  // the switch it sets
};

std::string ParseTimeout(std::string_view value, CliOptions& options) {
    double seconds = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, seconds);
    if (value.empty() || error != std::errc() || stop != end || !std::isfinite(seconds)) {
        return "expects a number of seconds, not \"" + std::string(value) + "\"";
    }
    if (seconds <= 0 || seconds > kMaxTimeoutSeconds) {
        return "expects seconds above 0 and at most " +
               std::to_string(static_cast<long>(kMaxTimeoutSeconds));
    }
    // Rounded up to whole milliseconds, so that a tiny time-out is never zero.
    options.timeout = std::chrono::milliseconds(static_cast<long>(std::ceil(seconds * 1000)));
    return {};
}

std::string ParseRuns(std::string_view value, CliOptions& options) {
    int runs = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, runs);
    if (value.empty() || error != std::errc() || stop != end || runs < 1 || runs > kMaxRuns) {
        return "expects a whole number from 1 to " + std::to_string(kMaxRuns) + ", not \"" +
               std::string(value) + "\"";
    }
    options.runs = runs;
    return {};
}

std::string AddPort(std::string_view value, CliOptions& options) {
    if (value.empty()) return "expects a port";
    options.port = std::string(value);
    options.ports.push_back(options.port);
    return {};
}

std::string NonEmpty(std::string_view value, std::string& into, const char* what) {
    if (value.empty()) return std::string("expects ") + what;
    into = std::string(value);
    return {};
}

const OptionEntry kOptions[] = {
    {"--port", AddPort},
    {"--data", [](std::string_view v, CliOptions& o) { return NonEmpty(v, o.dataFile, "a file"); }},
    {"--timeout", ParseTimeout},
    {"--quiet", {}, Action::kRun, &CliOptions::quiet},
    {"--station", {}, Action::kRun, &CliOptions::station},
    {"--runs", ParseRuns},
    {"--json", {}, Action::kRun, &CliOptions::json},
    {"--list-ports", {}, Action::kListPorts},
    {"--help", {}, Action::kShowHelp},
    {"-h", {}, Action::kShowHelp},
    {"--version", {}, Action::kShowVersion},
};

const OptionEntry* FindOption(std::string_view name) {
    for (const OptionEntry& entry : kOptions)
        if (entry.name == name) return &entry;
    return nullptr;
}

ParsedOptions Reject(std::string error) {
    ParsedOptions parsed;
    parsed.action = Action::kReject;
    parsed.error = std::move(error);
    return parsed;
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string_view> args) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::optional<std::string_view> attached;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            attached = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const OptionEntry* entry = FindOption(arg);
        if (!entry) return Reject("unknown argument \"" + std::string(args[i]) + "\"");
        if (!entry->parseValue) {
            if (attached) return Reject(std::string(arg) + " takes no value");
            if (entry->flag) parsed.options.*(entry->flag) = true;
            // Help and version win over everything else; listing ports over a run.
            if (entry->action > parsed.action) parsed.action = entry->action;
            continue;
        }
        std::string_view value;
        if (attached) {
            value = *attached;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return Reject(std::string(arg) + " needs a value");
        }
        if (std::string error = entry->parseValue(value, parsed.options); !error.empty()) {
            return Reject(std::string(arg) + " " + error);
        }
    }
    // A script that asks one run for a station's work has a mistake in it: say so, not ignore it.
    if (!parsed.options.station && parsed.action == Action::kRun) {
        if (parsed.options.runs) return Reject("--runs only applies with --station");
        if (parsed.options.json) return Reject("--json only applies with --station");
    }
    return parsed;
}

std::string UsageText() {
    return R"(Usage: qelpupd-cli [--port NAME] [--data FILE] [--timeout SECONDS] [--quiet]
       qelpupd-cli --station [--port NAME]... [--runs N] [--json] [--data FILE]
                   [--timeout SECONDS] [--quiet]
       qelpupd-cli --list-ports

Updates the firmware of a QELP device on a serial port, as the window program qelpupd
does, for scripts and production lines: the device's lines go to standard output,
progress and the outcome to standard error, and the exit status says how it ended.

With --station it serves several ports side by side, one device after another, until
stopped: on a terminal one line per port is redrawn in place; otherwise one line per
event, or with --json one JSON object per line. A summary table ends it.

Options:
  --port NAME        COM1 (default), COM2, or a device path such as /dev/ttyUSB0;
                     with --station, repeat it for each port (default: every serial
                     port found, and any that appears while the station runs)
  --data FILE        the update data file (default: the first 7118K*.UPF in the
                     current folder)
  --timeout SECONDS  end a run that has not finished after SECONDS (default: none);
                     with --station, counted from each device's data request
  --quiet            show only the device's lines and the final line; with --station,
                     only each run's end and the summary
  --station          serve the ports one device after another until stopped
  --runs N           with --station: each port ends after N runs
  --json             with --station: one JSON object per line on standard output
  --list-ports       list the serial ports and the names COM1, COM2 stand for
  --version          show the version
  -h, --help         show this text

Exit status:
  0    the update succeeded
  1    the update failed
  2    it could not start: bad command line, no data file, port unavailable
  3    --timeout ended it
  130  Ctrl+C or SIGTERM ended it

Exit status with --station:
  0    every run succeeded
  1    a run failed (or timed out)
  2    it could not start: bad command line, no data file, or no port could be
       opened within --timeout
  130  Ctrl+C or SIGTERM ended it; runs under way are recorded
)";
}

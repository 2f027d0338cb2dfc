// qelpupd-cli: the firmware update for scripts and production lines. See UsageText() and
// qelpupd-cli(1).

#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/options.h"
#include "cli/outcome.h"
#include "cli/station.h"
#include "cli/stop_signals.h"
#include "cli/terminal_output.h"
#include "cli/update_run.h"
#include "res/version_info.h"
#include "serial/port_map.h"

namespace {
// What the run ends with when the process cannot even set itself up.
constexpr int kCouldNotStart = 2;
}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = CommandLineArguments(argc, argv);
    const std::vector<std::string_view> args(arguments.begin(), arguments.end());
    const ParsedOptions parsed = ParseOptions(args);
    switch (parsed.action) {
        case ParsedOptions::Action::kReject:
            WriteAll(kStandardError, OutcomeLine(RunOutcome::kBadCommandLine, {"", parsed.error}));
            return ExitStatus(RunOutcome::kBadCommandLine);
        case ParsedOptions::Action::kShowHelp:
            WriteAll(kStandardOutput, UsageText());
            return 0;
        case ParsedOptions::Action::kShowVersion:
            WriteAll(kStandardOutput, std::string("qelpupd-cli ") + res::version::kVersion + "\n");
            return 0;
        case ParsedOptions::Action::kListPorts:
            // The same listing as the window program's.
            return WriteAll(kStandardOutput, ListSystemPorts()) ? 0 : 1;
        case ParsedOptions::Action::kRun:
            break;
    }

    // Written by the signal handler when a second stop ends the process at once; on a terminal it
    // first takes any progress line away.
    const std::string clear = IsTerminal(kStandardError) ? "\r\x1b[K" : "";
    const OutcomeDetail atOnce{parsed.options.port, "ended at once"};
    if (!InstallStopSignals(clear + OutcomeLine(RunOutcome::kInterrupted, atOnce))) {
        std::perror("qelpupd-cli: signal handlers");
        return kCouldNotStart;
    }
    // A station's --timeout counts for each run on its own, from the run's data request.
    if (parsed.options.station) return RunStation(parsed.options);
    TerminalOutput output(parsed.options.quiet);
    if (parsed.options.timeout && !ArmTimeout(*parsed.options.timeout)) {
        std::perror("qelpupd-cli: --timeout");
        return kCouldNotStart;
    }

    const RunResult result = RunUpdate(parsed.options, output);
    // The record is written by now; a stream that takes nothing more does not hold up the end.
    output.Final(OutcomeLine(result.outcome, result.detail));
    return ExitStatus(result.outcome);
}

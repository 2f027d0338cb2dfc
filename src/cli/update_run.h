#pragma once
// One update run of qelpupd-cli, from finding the data file to closing the port, driving the update
// core's run (update/update_run.h) as the window program drives it: the console reader on its own
// thread shows the device's lines and acts on its keywords; on the device's data request the main
// thread reads the data file and sends it in blocks; the device's end keyword (or its hang-up)
// ends the run, and the core decides its outcome.
//
// The main thread sleeps in poll() between the reader's news (run_mailbox.h) and a stop request
// (stop_signals.h). A stop ends a transfer after the block on the wire; then the reader is stopped
// and joined, and the port is closed (DTR low) before the outcome is returned.
//
// Main thread; stop signals installed before.

#include "cli/options.h"
#include "cli/outcome.h"
#include "cli/terminal_output.h"

struct RunResult {
    RunOutcome outcome = RunOutcome::kFailed;
    OutcomeDetail detail;
};

RunResult RunUpdate(const CliOptions& options, TerminalOutput& output);

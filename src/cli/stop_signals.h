#pragma once
// Why qelpupd-cli stops before the device has ended the update: Ctrl+C (SIGINT), SIGTERM or the
// --timeout. Process-wide, since signals are. The build picks the implementation:
// posix_stop_signals.cpp on Linux, win32_stop_signals.cpp on Windows, where Ctrl+C and Ctrl+Break
// (SetConsoleCtrlHandler) stand for SIGINT, closing the console window for SIGTERM, and a timer
// queue's timer for SIGALRM.
//
// The end of the Windows session reaches a console program that loads user32 (SetupAPI does) only
// as window messages, so a hidden top-level window of its own, on a thread of its own, hears it:
// while a transfer runs (NoteTransfer) it asks the session to wait, with a reason; when the session
// ends all the same, it requests a stop ("WM_ENDSESSION") and keeps the message from returning,
// which would let the system end the process, until the run has closed the port and written its
// record (NoteRunFinished), or kSessionEndAllowance has passed.
//
// The first stop is only noted (an atomic read by StopRequested) and wakes the run loop through
// StopWaitObject; the run then stops after the block on the wire, ends the console reader and
// closes the port (DTR low) itself, and writes its record; every wait on that way has a deadline,
// so the run ends within seconds whatever standard output does. A second Ctrl+C or SIGTERM ends the
// process at once from the handler, as the operator asked: it writes the line prepared for that
// case (where standard error takes it at once) and calls _exit, and the kernel closes the port as
// the process goes, which drops DTR (HUPCL), and no record is written. After the time-out the port
// gives up a block that cannot go out (stopping_port_waiter.h), so that the run ends and is
// recorded; the time-out never ends the process by itself.
//
// Thread contract: InstallStopSignals and ArmTimeout on the main thread, before the other threads
// start; StopRequested and StopWaitObject from any thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/outcome.h"

enum class StopCause {
    kNone,
    kInterrupt,  // SIGINT or SIGTERM
    kTimeout,
};

// The block on the wire gets the port's whole write time-out, then the port closes and the record
// is written.
inline constexpr std::chrono::milliseconds kSessionEndAllowance{15000};

// Installs the handlers of SIGINT, SIGTERM and SIGALRM, and ignores SIGPIPE (a closed standard
// output must not end an update half way). The line is written to standard error when a second
// stop ends the process at once. False when a handler or the wake-up pipe could not be set up.
bool InstallStopSignals(std::string interruptLine);

// Requests a stop of cause kTimeout after `after`. False when the timer could not be set.
bool ArmTimeout(std::chrono::milliseconds after);

// The first stop requested; later ones do not change it.
StopCause StopRequested();
// The name of the signal behind the first stop ("SIGINT", "SIGTERM"); empty before any.
const char* StopSignalName();
// When the stop came with a short allowance (Windows: the console closed, the user logging off):
// the time by which a block still on the wire is given up, so that the port is closed and the
// record written before the system ends the process. Empty otherwise.
std::optional<std::chrono::steady_clock::time_point> StopGiveUpBy();

// A transfer begins, or ends: the end of the session is asked to wait while any runs (Windows).
// Any thread; each begin is matched by one end.
void NoteTransfer(bool running);
// The runs have closed their ports and written their records: an end of the session may go on
// (Windows).
void NoteRunFinished();

// What a wait can sleep on to learn of a stop: on POSIX a pipe's descriptor, readable once a stop
// has been requested and never read from, so it stays readable; on Windows a manual-reset event,
// set once a stop has been requested.
std::intptr_t StopWaitObject();

// The exit status of a second Ctrl+C or SIGTERM, which ends the process at once.
inline int ExitStatusAtOnce() {
    return ExitStatus(RunOutcome::kInterrupted);
}

#pragma once
// How a run of qelpupd-cli ended: its exit status, and the one line on standard error that says
// so in English and in the window program's Japanese message text. Pure; any thread.

#include <string>
#include <string_view>

#include "update/run_verdict.h"

enum class RunOutcome {
    kSucceeded,        // the device reported a successful update
    kFailed,           // the device reported a failure, or hung up
    kBadCommandLine,   // the run did not start
    kNoDataFile,       // the run did not start
    kPortUnavailable,  // the run did not start
    kTimedOut,         // --timeout passed before the device ended the update
    kInterrupted,      // Ctrl+C or SIGTERM
};

// 0 succeeded, 1 failed, 2 could not start (as the window program's statuses), 3 timed out,
// 130 interrupted (128 + SIGINT, as shells report an interrupted command).
int ExitStatus(RunOutcome outcome);

// How a run that started ended, as the update core decided it.
RunOutcome OutcomeOfVerdict(const RunVerdict& verdict);

struct OutcomeDetail {
    std::string port;    // the port as given, for the port's message
    std::string reason;  // English: which file or device, and why; may be empty
};

// "qelpupd-cli: update succeeded. アップデート作業は正常に終了しました。\n": the English sentence,
// the reason when there is one, then the Japanese text on the same line.
std::string OutcomeLine(RunOutcome outcome, const OutcomeDetail& detail);

// A window program's message on one line: its line breaks become spaces.
std::string OneLine(std::string_view text);

// A note on the way, in the same form: "qelpupd-cli: <english>. <Japanese text of id>\n".
std::string NoteLine(std::string_view english, int messageId);

// The note for a data file that could not be read at the device's request (`error`: the system's
// code, 0 for none); empty for kOk.
std::string FileProblemLine(DataFileStatus status, const std::string& path, int error);

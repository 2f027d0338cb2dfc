#pragma once
// How an update run ended, and what that means for the operator: the facts a run gathers as it goes
// and the one function that turns them into the outcome that both programs report, record and end
// with. Success comes only from the device's success words, and only when the device got the data
// file it asked for last; every other ending is named. Pure; any thread.

#include <optional>
#include <string>
#include <string_view>

#include "update/data_file.h"
#include "update/update_record.h"

// What ended the run first. Later causes do not replace it: a device that reported success just
// before the operator closed the window has still succeeded.
enum class EndCause {
    kNone,           // the run has not ended yet
    kDeviceSuccess,  // an end keyword that leaves the result standing ("Versionup succeed", ...)
    kDeviceFailure,  // a failure keyword ("record header", "bootmode=ERROR")
    kHangUp,         // the device went away
    kFileProblem,    // the data file could not be opened at the device's request
    kOperator,       // the operator closed the window, or the program ended the run itself
    kSignal,         // SIGTERM, SIGHUP or SIGINT (Ctrl+C)
    kTimeout,        // qelpupd-cli's --timeout
    kWaitFailed,     // the program could no longer wait for the device
    kReaderFailed,   // the console reader could not start
    kRecordFailed,   // the update record's helper thread could not start
};

// The record's name of a cause ("device", "hang-up", "record-failed", ...).
const char* EndCauseName(EndCause cause);

struct RunFacts {
    EndCause cause = EndCause::kNone;
    std::string keyword;  // the device's keyword, for kDeviceSuccess and kDeviceFailure
    std::string detail;   // the front end's word on a stop: the signal's name, why a wait failed
    // The device's last data request got nothing: the file could not be read (fileProblem says
    // how), or its transfer could not be shown.
    bool lastRequestUnanswered = false;
    std::optional<DataFileStatus> fileProblem;
};

struct RunVerdict {
    RecordedOutcome outcome = RecordedOutcome::kClosedByOperator;
    // What decided the outcome: the first cause, except that a success after a data request that
    // got nothing counts as a file problem.
    EndCause cause = EndCause::kNone;
    std::string detail;  // for the record: the keyword, the signal, the file problem; may be empty
    std::string reason;  // English, for a terminal line; empty where the outcome says it all

    bool Succeeded() const { return outcome == RecordedOutcome::kSucceeded; }
};

RunVerdict DecideOutcome(const RunFacts& facts);

// The message that reports a verdict: 109 for a success, 108 for a failure, 107 when the console
// reader could not start (the port could not serve the run); 0 when none shows (a stop).
int OutcomeMessage(const RunVerdict& verdict);

// "cannot-open", "short-read", ...: a data file problem as the record names it.
const char* DataFileStatusName(DataFileStatus status);

#include "update/run_verdict.h"

#include "res/resource.h"

const char* EndCauseName(EndCause cause) {
    switch (cause) {
        case EndCause::kNone:
            return "none";
        case EndCause::kDeviceSuccess:
        case EndCause::kDeviceFailure:
            return "device";
        case EndCause::kHangUp:
            return "hang-up";
        case EndCause::kFileProblem:
            return "file-problem";
        case EndCause::kOperator:
            return "operator";
        case EndCause::kSignal:
            return "signal";
        case EndCause::kTimeout:
            return "timeout";
        case EndCause::kWaitFailed:
            return "wait-failed";
        case EndCause::kReaderFailed:
            return "reader-failed";
        case EndCause::kRecordFailed:
            return "record-failed";
    }
    return "none";
}

const char* DataFileStatusName(DataFileStatus status) {
    switch (status) {
        case DataFileStatus::kOk:
            return "ok";
        case DataFileStatus::kCannotOpen:
            return "cannot-open";
        case DataFileStatus::kOutOfMemory:
            return "out-of-memory";
        case DataFileStatus::kShortRead:
            return "short-read";
        case DataFileStatus::kReadFailed:
            return "read-failed";
    }
    return "ok";
}

namespace {

RunVerdict Failed(EndCause cause, std::string detail, std::string reason) {
    return {RecordedOutcome::kFailed, cause, std::move(detail), std::move(reason)};
}

RunVerdict Stopped(EndCause cause, std::string detail, std::string reason = {}) {
    return {RecordedOutcome::kClosedByOperator, cause, std::move(detail), std::move(reason)};
}

}  // namespace

RunVerdict DecideOutcome(const RunFacts& facts) {
    switch (facts.cause) {
        case EndCause::kDeviceSuccess:
            // The device's word alone is no proof when its last request for the data got nothing.
            if (facts.lastRequestUnanswered) {
                const char* problem =
                    facts.fileProblem ? DataFileStatusName(*facts.fileProblem) : "not-shown";
                return Failed(EndCause::kFileProblem, problem,
                              "the device reported \"" + facts.keyword +
                                  "\" although the data file was not sent");
            }
            return {RecordedOutcome::kSucceeded, facts.cause, facts.keyword, {}};
        case EndCause::kDeviceFailure:
            return Failed(facts.cause, facts.keyword, {});
        case EndCause::kHangUp:
            return Failed(facts.cause, {}, "the device went away");
        case EndCause::kFileProblem:
            return Failed(
                facts.cause,
                DataFileStatusName(facts.fileProblem.value_or(DataFileStatus::kCannotOpen)),
                "the data file could not be opened");
        case EndCause::kWaitFailed:
            return Failed(facts.cause, facts.detail,
                          "waiting for the device failed: " + facts.detail);
        case EndCause::kReaderFailed:
            return Failed(facts.cause, facts.detail,
                          "the console reader could not start: " + facts.detail);
        case EndCause::kRecordFailed:
            return Failed(facts.cause, facts.detail,
                          "the update record's helper thread could not start: " + facts.detail);
        case EndCause::kSignal:
            return Stopped(facts.cause, facts.detail, "stopped by " + facts.detail);
        case EndCause::kTimeout:
        case EndCause::kOperator:
        case EndCause::kNone:
            return Stopped(facts.cause, facts.detail);
    }
    return Stopped(facts.cause, facts.detail);
}

int OutcomeMessage(const RunVerdict& verdict) {
    if (verdict.cause == EndCause::kReaderFailed) return IDS_PORT_UNAVAILABLE;
    switch (verdict.outcome) {
        case RecordedOutcome::kSucceeded:
            return IDS_UPDATE_DONE;
        case RecordedOutcome::kFailed:
            return IDS_UPDATE_FAILED;
        case RecordedOutcome::kClosedByOperator:
            return 0;
    }
    return 0;
}

#include "cli/outcome.h"

#include "framework/text_format.h"
#include "res/message_texts.h"
#include "res/resource.h"
#include "update/system_error.h"

namespace {

constexpr std::string_view kProgram = "qelpupd-cli: ";

std::string Sentence(std::string_view english, const std::string& reason) {
    std::string text(english);
    if (!reason.empty()) text += ": " + reason;
    return text + ".";
}

}  // namespace

std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\n') c = ' ';
    return line;
}

RunOutcome OutcomeOfVerdict(const RunVerdict& verdict) {
    if (verdict.Succeeded()) return RunOutcome::kSucceeded;
    switch (verdict.cause) {
        case EndCause::kSignal:
            return RunOutcome::kInterrupted;
        case EndCause::kTimeout:
            return RunOutcome::kTimedOut;
        case EndCause::kReaderFailed:
            return RunOutcome::kPortUnavailable;
        default:
            return RunOutcome::kFailed;
    }
}

int ExitStatus(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::kSucceeded:
            return 0;
        case RunOutcome::kFailed:
            return 1;
        case RunOutcome::kBadCommandLine:
        case RunOutcome::kNoDataFile:
        case RunOutcome::kPortUnavailable:
            return 2;
        case RunOutcome::kTimedOut:
            return 3;
        case RunOutcome::kInterrupted:
            return 130;
    }
    return 1;
}

std::string OutcomeLine(RunOutcome outcome, const OutcomeDetail& detail) {
    std::string english;
    std::string japanese;
    switch (outcome) {
        case RunOutcome::kSucceeded:
            english = Sentence("update succeeded", detail.reason);
            japanese = res::FindMessageText(IDS_UPDATE_DONE);
            break;
        case RunOutcome::kFailed:
            english = Sentence("update failed", detail.reason);
            japanese = res::FindMessageText(IDS_UPDATE_FAILED);
            break;
        case RunOutcome::kBadCommandLine:
            // A mistake in the script, not on the line: no message of the window program fits.
            return std::string(kProgram) + Sentence("bad command line", detail.reason) +
                   " Try qelpupd-cli --help.\n";
        case RunOutcome::kNoDataFile:
            english = Sentence("no update data file", detail.reason);
            japanese = res::FindMessageText(IDS_NO_DATA_FILE);
            break;
        case RunOutcome::kPortUnavailable:
            english = Sentence(detail.port + " cannot be used", detail.reason);
            japanese = fw::FormatText(res::FindMessageText(IDS_PORT_UNAVAILABLE), {detail.port});
            break;
        case RunOutcome::kTimedOut:
            english = Sentence("timed out, update not finished", detail.reason);
            japanese = res::FindMessageText(IDS_UPDATE_FAILED);
            break;
        case RunOutcome::kInterrupted:
            english = Sentence("interrupted, update not finished", detail.reason);
            japanese = res::FindMessageText(IDS_UPDATE_FAILED);
            break;
    }
    return std::string(kProgram) + english + " " + OneLine(japanese) + "\n";
}

std::string NoteLine(std::string_view english, int messageId) {
    return std::string(kProgram) + std::string(english) + ". " +
           OneLine(std::string(res::FindMessageText(messageId))) + "\n";
}

std::string FileProblemLine(DataFileStatus status, const std::string& path, int error) {
    const std::string reason = error != 0 ? ": " + SystemErrorText(error) : "";
    switch (status) {
        case DataFileStatus::kOk:
            return {};
        case DataFileStatus::kCannotOpen:
            return NoteLine("cannot open the data file " + path + reason, IDS_NO_DATA_FILE);
        case DataFileStatus::kOutOfMemory:
            return NoteLine("not enough memory for the data file " + path, IDS_OUT_OF_MEMORY);
        case DataFileStatus::kShortRead:
        case DataFileStatus::kReadFailed:
            return NoteLine("reading the data file " + path + " failed" + reason, IDS_READ_FAILED);
    }
    return {};
}

#include "cli/update_run.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "cli/cli_sinks.h"
#include "cli/run_mailbox.h"
#include "cli/stop_signals.h"
#include "cli/stopping_port_waiter.h"
#include "res/version_info.h"
#include "serial/port_map.h"
#include "update/data_file.h"
#include "update/system_error.h"
#include "update/update_run.h"

namespace {

// Paths stay UTF-8 inside the program: std::filesystem takes a plain string in the system's code
// page on Windows, which is not UTF-8.
std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

// The data file as given, or as the window program chooses it in the current folder. Empty with
// the reason when there is none.
std::string FindData(const CliOptions& options, TerminalOutput& output, std::string& reason) {
    if (options.dataFile.empty()) {
        const DataFileChoice found = ChooseDataFile(".");
        if (found.path.empty()) {
            reason = std::string("no ") + DATA_FILE_PATTERN + " in the current folder";
        } else if (found.passedOver > 0) {
            // Several candidates usually mean an old file left beside the new one: say which goes.
            output.Note("qelpupd-cli: data file " + found.path + " taken; " +
                        std::to_string(found.passedOver) + " other matching file" +
                        (found.passedOver == 1 ? "" : "s") + " passed over\n");
        }
        return found.path;
    }
    std::error_code error;
    const auto status = std::filesystem::status(PathOf(options.dataFile), error);
    if (error) {
        reason = options.dataFile + ": " + error.message();
        return {};
    }
    if (!std::filesystem::is_regular_file(status)) {
        reason = options.dataFile + ": not a regular file";
        return {};
    }
    return options.dataFile;
}

}  // namespace

RunResult RunUpdate(const CliOptions& options, TerminalOutput& output) {
    RunResult result{RunOutcome::kFailed, {options.port, ""}};
    const std::string dataPath = FindData(options, output, result.detail.reason);
    if (dataPath.empty()) {
        result.outcome = RunOutcome::kNoDataFile;
        return result;
    }

    RunMailbox mailbox;
    if (!mailbox.Ready()) {
        return {RunOutcome::kPortUnavailable,
                {options.port, "nothing for the run loop to wait on"}};
    }
    RunSettings settings;
    settings.program = "qelpupd-cli";
    settings.version = res::version::kVersion;
    // Said even with --quiet: a record that is incomplete or missing is for the operator to know.
    settings.recordProblems = [&output](const std::string& line) { output.Problem(line + "\n"); };
    // Side by side with others on other ports, all reading the one data file.
    settings.lock = DataFileLock::kShared;
    StoppingPortWaiter waiter;
    UpdateRun run(std::move(settings), &waiter);
    CliConsoleSink consoleSink(output, mailbox);
    // COM1 and COM2 stand for what they stand for in the window program; a path for itself.
    const OpenResult opened = run.Open(
        MapPort(options.port), Utf8Of(std::filesystem::absolute(PathOf(dataPath))), consoleSink);
    if (opened.end == OpenEnd::kPortUnusable || opened.end == OpenEnd::kReaderFailed) {
        return {RunOutcome::kPortUnavailable, {options.port, opened.reason}};
    }

    CliUploadSink uploadSink(output, options.port);
    // A run that ended as it opened (its record got no helper thread) waits for nothing.
    while (opened.end == OpenEnd::kOpened) {
        int error = 0;
        const RunMailbox::Wake wake = mailbox.WaitForNewsOrStop(error);
        if (wake == RunMailbox::Wake::kStop) {
            run.Stop(
                StopRequested() == StopCause::kTimeout ? EndCause::kTimeout : EndCause::kSignal,
                StopSignalName());
            break;
        }
        if (wake == RunMailbox::Wake::kFailed) {
            run.Stop(EndCause::kWaitFailed, "waiting for news: " + SystemErrorText(error));
            break;
        }
        const RunMailbox::News news = mailbox.Take();
        // A request that came with the device's end came before it, and is answered as the window
        // program answers it: the outcome then rests on an answered request.
        if (news.dataRequest) {
            mailbox.BeginUpload();
            run.Upload(uploadSink);
            mailbox.EndUpload();
        }
        if (news.runEnded) break;
    }

    run.Close();
    // Decided once: the final line, the record and the exit status all take this verdict.
    const RunVerdict& verdict = run.Conclude();
    run.Record();
    NoteRunFinished();
    result.outcome = OutcomeOfVerdict(verdict);
    const std::optional<TransferResult>& transfer = run.LastTransfer();
    if (result.outcome == RunOutcome::kInterrupted || result.outcome == RunOutcome::kTimedOut) {
        if (transfer && transfer->end == TransferEnd::kCancelled) {
            result.detail.reason = "stopped after " + std::to_string(transfer->BytesSent()) +
                                   " of " + std::to_string(run.LastFileLength()) + " bytes";
        }
    } else {
        result.detail.reason = verdict.reason;
    }
    // With --quiet the note of it was left out: the final line still says it.
    if (transfer && transfer->heldBy.Held()) {
        if (!result.detail.reason.empty()) result.detail.reason += "; ";
        result.detail.reason +=
            "the device held the output back: " + DescribeHold(transfer->heldBy);
    }
    return result;
}

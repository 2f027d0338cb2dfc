#include "cli/update_run.h"

#include <optional>

#include "cli/cli_sinks.h"
#include "cli/data_choice.h"
#include "cli/run_mailbox.h"
#include "cli/stop_signals.h"
#include "cli/stopping_port_waiter.h"
#include "res/version_info.h"
#include "serial/port_map.h"
#include "update/system_error.h"
#include "update/update_run.h"

RunResult RunUpdate(const CliOptions& options, TerminalOutput& output) {
    RunResult result{RunOutcome::kFailed, {options.port, ""}};
    const DataChoice data = ChooseDataFileFor(options.dataFile);
    if (!data.note.empty()) output.Note(data.note);
    if (data.path.empty()) {
        result.outcome = RunOutcome::kNoDataFile;
        result.detail.reason = data.reason;
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
    const RunStop stop;
    StoppingPortWaiter waiter(stop);
    UpdateRun run(std::move(settings), &waiter);
    CliConsoleSink consoleSink(output, mailbox);
    // COM1 and COM2 stand for what they stand for in the window program; a path for itself.
    const OpenResult opened = run.Open(MapPort(options.port), data.path, consoleSink);
    if (opened.end == OpenEnd::kPortUnusable || opened.end == OpenEnd::kReaderFailed) {
        return {RunOutcome::kPortUnavailable, {options.port, opened.reason}};
    }

    CliUploadSink uploadSink(output, options.port, stop);
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
        result.detail.reason += HeldNote(transfer->heldBy);
    }
    return result;
}

#include "cli/update_run.h"

#include <poll.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <thread>

#include "cli/cli_sinks.h"
#include "cli/run_mailbox.h"
#include "cli/stop_signals.h"
#include "serial/comm_port.h"
#include "serial/port_map.h"
#include "update/console_reader.h"
#include "update/data_file.h"
#include "update/data_upload.h"
#include "update/update_session.h"

namespace {

RunOutcome OutcomeOfStop(StopCause cause) {
    return cause == StopCause::kTimeout ? RunOutcome::kTimedOut : RunOutcome::kInterrupted;
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
    struct stat info {};
    if (stat(options.dataFile.c_str(), &info) != 0) {
        reason = options.dataFile + ": " + std::strerror(errno);
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        reason = options.dataFile + ": not a regular file";
        return {};
    }
    return options.dataFile;
}

// Sleeps until the reader has news or a stop is requested. False on a stop.
bool WaitForNews(RunMailbox& mailbox) {
    pollfd fds[2] = {{mailbox.Descriptor(), POLLIN, 0}, {WakeDescriptor(), POLLIN, 0}};
    for (;;) {
        if (StopRequested() != StopCause::kNone) return false;
        // No time-out: the time-out arrives as a stop request, which makes the pipe readable.
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno != EINTR) return false;
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) return true;
    }
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
        return {RunOutcome::kPortUnavailable, {options.port, "no eventfd for the run loop"}};
    }
    // COM1 and COM2 stand for what they stand for in the window program; a path for itself.
    const PortMapping mapping = MapPort(options.port);
    CCommPort port;
    port.BaudRate = UPDATE_BAUD;
    if (!port.OpenPort(mapping)) {
        return {RunOutcome::kPortUnavailable, {options.port, port.DescribeOpenFailure()}};
    }

    UpdateSession session;
    session.buffer = &port.Buffer();
    session.flags.stop.store(0);
    session.flags.result.store(1);
    CliConsoleSink consoleSink(output, mailbox);
    std::thread reader([&] { ConsoleReaderProc(session, consoleSink); });

    CliUploadSink uploadSink(output, dataPath);
    std::optional<TransferResult> lastTransfer;
    bool ended = false;
    while (!ended && WaitForNews(mailbox)) {
        const RunMailbox::News news = mailbox.Take();
        if (news.dataRequest && !news.runEnded) {
            mailbox.BeginUpload();
            const UploadResult upload =
                UploadDataFile(dataPath, port, session, uploadSink, DataFileLock::kShared);
            if (upload.transfer) {
                uploadSink.ShowTransferEnd(*upload.transfer);
                lastTransfer = upload.transfer;
            }
            mailbox.EndUpload();
        }
        ended = news.runEnded;
    }
    // The device may have ended the run just as a stop came: its word counts.
    if (!ended) ended = mailbox.Take().runEnded;

    const StopCause stop = StopRequested();
    session.RequestStop();
    reader.join();
    port.ClosePort();
    if (stop != StopCause::kNone && !ended) {
        result.outcome = OutcomeOfStop(stop);
        if (lastTransfer && lastTransfer->end == TransferEnd::kCancelled) {
            result.detail.reason = "stopped after " + std::to_string(lastTransfer->BytesSent()) +
                                   " of " + std::to_string(uploadSink.FileSize()) + " bytes";
        }
        return result;
    }
    result.outcome =
        session.flags.result.load() != 0 ? RunOutcome::kSucceeded : RunOutcome::kFailed;
    if (result.outcome == RunOutcome::kFailed && port.HungUp()) {
        result.detail.reason = "the device went away";
    }
    return result;
}

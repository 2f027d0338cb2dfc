#include "cli/update_run.h"

#include <poll.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "cli/cli_sinks.h"
#include "cli/run_mailbox.h"
#include "cli/stop_signals.h"
#include "res/resource.h"
#include "res/version_info.h"
#include "serial/comm_port.h"
#include "serial/port_map.h"
#include "update/console_reader.h"
#include "update/data_file.h"
#include "update/data_upload.h"
#include "update/update_record.h"
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

    // Every run that opened the port is recorded, as the window program records it.
    UpdateRecord record(RecordDirectory(),
                        [&output](const std::string& line) { output.Note(line + "\n"); });
    record.Start({"qelpupd-cli", res::version::kVersion, mapping.name, mapping.devicePath,
                  std::filesystem::absolute(dataPath).string(), std::chrono::system_clock::now()});

    UpdateSession session;
    session.buffer = &port.Buffer();
    session.flags.stop.store(0);
    session.flags.result.store(1);
    CliConsoleSink consoleSink(output, mailbox, record);
    std::thread reader([&] { ConsoleReaderProc(session, consoleSink); });

    CliUploadSink uploadSink(output, dataPath);
    std::optional<TransferResult> lastTransfer;
    int uploads = 0;
    bool ended = false;
    while (!ended && WaitForNews(mailbox)) {
        const RunMailbox::News news = mailbox.Take();
        if (news.dataRequest && !news.runEnded) {
            mailbox.BeginUpload();
            ++uploads;
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
    RunEnd end;
    end.transfer = lastTransfer;
    end.uploads = uploads;
    if (stop != StopCause::kNone && !ended) {
        result.outcome = OutcomeOfStop(stop);
        if (lastTransfer && lastTransfer->end == TransferEnd::kCancelled) {
            result.detail.reason = "stopped after " + std::to_string(lastTransfer->BytesSent()) +
                                   " of " + std::to_string(uploadSink.FileSize()) + " bytes";
        }
        // Stopped before the device ended the run, as a window closed early.
        end.outcome = RecordedOutcome::kClosedByOperator;
    } else if (session.flags.result.load() != 0) {
        result.outcome = RunOutcome::kSucceeded;
        end.outcome = RecordedOutcome::kSucceeded;
        end.message = IDS_UPDATE_DONE;
    } else {
        result.outcome = RunOutcome::kFailed;
        if (port.HungUp()) result.detail.reason = "the device went away";
        end.outcome = RecordedOutcome::kFailed;
        end.message = IDS_UPDATE_FAILED;
    }
    end.time = std::chrono::system_clock::now();
    record.Finish(end);
    return result;
}

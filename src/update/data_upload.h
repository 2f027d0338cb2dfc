#pragma once
// The data upload: on the device's data request the whole data file is read and goes to the port
// by the block transfer (block_transfer.h). The program that runs it reports through an UploadSink:
// the window program with message boxes and its progress dialog, a terminal program in its own way.
//
// Runs on the thread that owns the port, which in the window program is the UI thread, inside the
// main dialog's handler; every sink call comes on that thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "update/block_transfer.h"
#include "update/data_file.h"
#include "update/update_session.h"

class CCommPort;

class UploadSink {
  public:
    virtual ~UploadSink() = default;

    // The file could not be read: `status` is not kOk; `error` is the errno where there is one.
    virtual void ReportFileProblem(DataFileStatus status, const std::string& path, int error) = 0;
    // The transfer of `totalBytes` starts: the display to step and to ask for Cancel, or nullptr
    // when it cannot be shown, and then nothing is sent.
    virtual TransferProgress* BeginTransfer(std::uint64_t totalBytes) = 0;
    // A block has waited a while and the modem lines show what holds it back: during the transfer,
    // while the write still waits, and again whenever that changes.
    virtual void ReportWriteHeld(const OutputHold& hold) = 0;
    // The transfer has ended; called only after a BeginTransfer that gave a display.
    virtual void EndTransfer(const TransferResult& result) = 0;
};

struct UploadResult {
    DataFileStatus file = DataFileStatus::kCannotOpen;
    // Empty when nothing was sent: the file could not be read, or there was no progress display.
    std::optional<TransferResult> transfer;
    // The file's bytes as read, which are what went out; empty when it could not be read.
    std::shared_ptr<const std::vector<unsigned char>> bytes;
};

// Reads the file under `lock` and sends it. When the file cannot be opened the run ends as failed
// (stop flag set, result flag cleared, the cause noted) once the sink has reported it: nothing was
// sent, so the run must not end as a success. `live`, when given, holds the result as it grows
// (the bytes once read, the transfer's figures after each write), for a handler that the writes'
// waits serve.
UploadResult UploadDataFile(const std::string& path, CCommPort& port, UpdateSession& session,
                            UploadSink& sink, DataFileLock lock = DataFileLock::kExclusive,
                            UploadResult* live = nullptr);

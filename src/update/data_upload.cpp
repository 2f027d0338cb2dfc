#include "update/data_upload.h"

#include "serial/comm_port.h"

UploadResult UploadDataFile(const std::string& path, CCommPort& port, UpdateSession& session,
                            UploadSink& sink, DataFileLock lock, UploadResult* live) {
    UploadResult own;
    UploadResult& result = live != nullptr ? *live : own;
    result = {};
    DataFileContents file = ReadDataFile(path, lock);
    result.file = file.status;
    if (file.status != DataFileStatus::kOk) {
        sink.ReportFileProblem(file.status, path, file.error);
        if (file.status == DataFileStatus::kCannotOpen) session.EndAsFailed(EndCause::kFileProblem);
        return result;
    }
    result.bytes = std::make_shared<const std::vector<unsigned char>>(std::move(file.bytes));
    TransferProgress* progress = sink.BeginTransfer(result.bytes->size());
    // Without its display the transfer could not be followed or cancelled: send nothing.
    if (!progress) return result;
    port.SetHoldReport([&sink](const OutputHold& hold) { sink.ReportWriteHeld(hold); });
    result.transfer.emplace();
    SendBlocks(*result.bytes, port, *progress, &*result.transfer);
    port.SetHoldReport({});
    sink.EndTransfer(*result.transfer);
    return result;
}

#include "update/data_upload.h"

UploadResult UploadDataFile(const std::string& path, CCommPort& port, UpdateSession& session,
                            UploadSink& sink, DataFileLock lock) {
    UploadResult result;
    const DataFileContents file = ReadDataFile(path, lock);
    result.file = file.status;
    if (file.status != DataFileStatus::kOk) {
        sink.ReportFileProblem(file.status, path, file.error);
        if (file.status == DataFileStatus::kCannotOpen) session.EndAsFailed();
        return result;
    }
    TransferProgress* progress = sink.BeginTransfer();
    // Without its display the transfer could not be followed or cancelled: send nothing.
    if (!progress) return result;
    result.transfer = SendBlocks(file.bytes, port, *progress);
    sink.EndTransfer();
    return result;
}

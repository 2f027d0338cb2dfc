#include "update/data_upload.h"

#include <cstring>

#include "dialogs/transfer_progress_dlg.h"
#include "framework/message_box.h"
#include "framework/resources.h"
#include "framework/text_format.h"
#include "res/resource.h"
#include "serial/comm_port.h"
#include "update/data_file.h"

namespace {

RecordedTransfer WriteFailure(const CCommPort& port) {
    return port.HungUp() ? RecordedTransfer::kHungUp : RecordedTransfer::kWriteFailed;
}

// Sends `bytes` in whole blocks, then the remainder unless something stopped the blocks.
UploadFigures SendBlocks(const std::vector<unsigned char>& bytes, CCommPort& port,
                         CTransferProgressDlg& progress) {
    UploadFigures sent;
    const std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
    const std::uint32_t count = length / BLOCK_SIZE;
    progress.SetBarRange(0, static_cast<int>(count));
    progress.SetBarStep(1);

    const unsigned char* position = bytes.data();
    for (std::uint32_t block = 0; block < count; ++block) {
        // The bar shows a block as done just before it is written.
        progress.StepBar();
        if (progress.CancelRequested()) {
            sent.transfer = RecordedTransfer::kCancelled;
            return sent;
        }
        if (!port.WriteBlock(position, BLOCK_SIZE)) {
            sent.transfer = WriteFailure(port);
            return sent;
        }
        ++sent.blocksSent;
        position += BLOCK_SIZE;
    }
    const std::uint32_t remainder = length - count * BLOCK_SIZE;
    sent.transfer = RecordedTransfer::kComplete;
    // The device decides what a lost remainder means; the record says it was lost.
    if (remainder >= 1) {
        if (port.WriteBlock(position, remainder))
            sent.remainderSent = remainder;
        else
            sent.transfer = WriteFailure(port);
    }
    return sent;
}

}  // namespace

UploadFigures UploadDataFile(const std::string& path, CCommPort& port, UpdateSession& session,
                             fw::Window& owner) {
    DataFileContents file = ReadDataFile(path);
    switch (file.status) {
        case DataFileStatus::Ok:
            break;
        case DataFileStatus::CannotOpen:
            fw::MessageBox(IDS_NO_DATA_FILE);
            // Nothing was sent: the run must not end as a success.
            session.flags.result.store(0);
            session.RequestStop();
            return {};
        case DataFileStatus::OutOfMemory:
            fw::MessageBox(IDS_OUT_OF_MEMORY);
            return {};
        case DataFileStatus::ShortRead:
            fw::MessageBox(IDS_READ_FAILED);
            return {};
        case DataFileStatus::ReadFailed:
            fw::FileErrorBox(path, file.error);
            return {};
    }

    CTransferProgressDlg progress;
    // Without its dialog the transfer could not be followed or cancelled: send nothing.
    if (!progress.Create(&owner)) return {};
    progress.SetStatusText(fw::LoadText(IDS_TRANSFERRING));
    const UploadFigures sent = SendBlocks(file.bytes, port, progress);
    progress.DestroyWindow();
    return sent;
}

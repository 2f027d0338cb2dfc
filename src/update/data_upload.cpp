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

// Sends `bytes` in whole blocks, then the remainder unless something stopped the blocks.
void SendBlocks(const std::vector<unsigned char>& bytes, CCommPort& port,
                CTransferProgressDlg& progress) {
    const std::uint32_t length = static_cast<std::uint32_t>(bytes.size());
    const std::uint32_t count = length / BLOCK_SIZE;
    progress.SetBarRange(0, static_cast<int>(count));
    progress.SetBarStep(1);

    const unsigned char* position = bytes.data();
    for (std::uint32_t block = 0; block < count; ++block) {
        // The bar shows a block as done just before it is written.
        progress.StepBar();
        if (progress.CancelRequested()) return;
        if (!port.WriteBlock(position, BLOCK_SIZE)) return;
        position += BLOCK_SIZE;
    }
    const std::uint32_t remainder = length - count * BLOCK_SIZE;
    if (remainder >= 1) port.WriteBlock(position, remainder);
}

}  // namespace

void UploadDataFile(const std::string& path, CCommPort& port, UpdateSession& session,
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
            return;
        case DataFileStatus::OutOfMemory:
            fw::MessageBox(IDS_OUT_OF_MEMORY);
            return;
        case DataFileStatus::ShortRead:
            fw::MessageBox(IDS_READ_FAILED);
            return;
        case DataFileStatus::ReadFailed:
            fw::FileErrorBox(path, file.error);
            return;
    }

    CTransferProgressDlg progress;
    // Without its dialog the transfer could not be followed or cancelled: send nothing.
    if (!progress.Create(&owner)) return;
    progress.SetStatusText(fw::LoadText(IDS_TRANSFERRING));
    SendBlocks(file.bytes, port, progress);
    progress.DestroyWindow();
}

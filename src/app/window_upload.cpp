#include "app/window_upload.h"

#include "dialogs/transfer_progress_dlg.h"
#include "framework/app.h"
#include "framework/message_box.h"
#include "framework/resources.h"
#include "res/resource.h"
#include "update/standard_streams.h"

class WindowUpload::DialogProgress final : public TransferProgress {
  public:
    explicit DialogProgress(CTransferProgressDlg& dialog) : dialog_(dialog) {}

    void SetBarRange(int lower, int upper) override { dialog_.SetBarRange(lower, upper); }
    void SetBarStep(int step) override { dialog_.SetBarStep(step); }
    void StepBar() override { dialog_.StepBar(); }
    bool CancelRequested() override { return dialog_.CancelRequested(); }

  private:
    CTransferProgressDlg& dialog_;
};

WindowUpload::WindowUpload(fw::Window& owner) : owner_(owner) {}

WindowUpload::~WindowUpload() = default;

void WindowUpload::ReportFileProblem(DataFileStatus status, const std::string& path, int error) {
    switch (status) {
        case DataFileStatus::kOk:
            break;
        case DataFileStatus::kCannotOpen:
            fw::MessageBox(IDS_NO_DATA_FILE);
            break;
        case DataFileStatus::kOutOfMemory:
            fw::MessageBox(IDS_OUT_OF_MEMORY);
            break;
        case DataFileStatus::kShortRead:
            fw::MessageBox(IDS_READ_FAILED);
            break;
        case DataFileStatus::kReadFailed:
            fw::FileErrorBox(path, error);
            break;
    }
}

TransferProgress* WindowUpload::BeginTransfer(std::uint64_t) {
    dialog_ = std::make_unique<CTransferProgressDlg>();
    if (!dialog_->Create(&owner_)) {
        dialog_.reset();
        return nullptr;
    }
    dialog_->SetStatusText(fw::LoadText(IDS_TRANSFERRING));
    progress_ = std::make_unique<DialogProgress>(*dialog_);
    return progress_.get();
}

void WindowUpload::ReportWriteHeld(const OutputHold& hold) {
    (void)WriteAll(kStandardError, fw::ApplicationName() + ": " + HoldNote(hold) + "\n");
}

void WindowUpload::EndTransfer(const TransferResult&) {
    progress_.reset();
    if (dialog_) dialog_->DestroyWindow();
    dialog_.reset();
}

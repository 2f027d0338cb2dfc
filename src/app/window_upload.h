#pragma once
// The upload's sink in the window program: a data file that cannot be read is reported in a message
// box (102, 103, 104, or the framework's file-error box); the transfer runs under a modeless
// progress dialog owned by the main dialog, with the status text 105, which disables the owner
// while it shows. Stepping the dialog and asking it for Cancel pump the UI thread's messages, so
// every window stays alive during the transfer.
//
// UI thread only; one upload per object.

#include <memory>

#include "update/update_run.h"

class CTransferProgressDlg;
namespace fw {
class Window;
}

class WindowUpload final : public UploadSink {
  public:
    explicit WindowUpload(fw::Window& owner);
    ~WindowUpload() override;

    void ReportFileProblem(DataFileStatus status, const std::string& path, int error) override;
    TransferProgress* BeginTransfer(std::uint64_t totalBytes) override;
    // On standard error, for whoever started the program from a terminal; the record names it too.
    void ReportWriteHeld(const OutputHold& hold) override;
    void EndTransfer(const TransferResult& result) override;

  private:
    class DialogProgress;

    fw::Window& owner_;
    std::unique_ptr<CTransferProgressDlg> dialog_;
    std::unique_ptr<DialogProgress> progress_;
};

#include "dialogs/transfer_progress_dlg.h"

#include <algorithm>
#include <utility>

#include "dialogs/progress_math.h"
#include "framework/accessibility.h"
#include "framework/app.h"
#include "framework/message_pump.h"
#include "framework/resources.h"
#include "res/resource.h"

using dialogs::PercentOf;
using dialogs::PercentText;
using dialogs::ScaledBarPosition;

CTransferProgressDlg::CTransferProgressDlg(int captionId)
    : fw::Dialog(IDD_TRANSFER_PROGRESS), captionId_(captionId != 0 ? captionId : IDS_PROCESSING) {}

CTransferProgressDlg::~CTransferProgressDlg() {
    if (IsWindow()) DestroyWindow();
}

bool CTransferProgressDlg::Create(fw::Window* owner) {
    fw::WinApp* app = fw::WinApp::Current();
    fw::Window* toDisable = owner ? owner : (app ? app->LastActivePopup() : nullptr);
    ownerDisable_ = fw::WindowDisable(toDisable);
    if (!fw::Dialog::Create(owner ? owner : (app ? app->MainWindow() : nullptr))) {
        ownerDisable_.Release();
        return false;
    }
    return true;
}

void CTransferProgressDlg::DestroyWindow() {
    // The owner first, so that it is enabled again when the activation returns to it.
    ownerDisable_.Release();
    fw::Dialog::DestroyWindow();
}

bool CTransferProgressDlg::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    FitPercentControl();
    if (fw::Control* percent = GetDlgItem(IDC_TRANSFER_PERCENT)) fw::ExposePercentage(*percent);
    position_ = lower_;
    SendRangeToBar();
    if (fw::ProgressBar* bar = GetProgressBar(IDC_TRANSFER_BAR))
        bar->SendMessage(fw::PBM_SETSTEP, static_cast<fw::WPARAM>(step_));
    SetWindowText(fw::LoadText(captionId_));
    return true;
}

void CTransferProgressDlg::FitPercentControl() {
    // The Japanese font that stands in for the template's has wider digits than it was laid out
    // for: "100%" needs 33 pixels of the 18-unit, 32-pixel control at 9 points. The text is
    // left-aligned, so widening the control to the right only keeps the last column from being cut.
    if (fw::Control* percent = GetDlgItem(IDC_TRANSFER_PERCENT)) percent->WidenToFit("100%");
}

void CTransferProgressDlg::OnOK() {
    // No control issues OK; the dialog stays.
}

void CTransferProgressDlg::OnCancel() {
    // Only noted: the operation decides when to stop and destroys the dialog itself.
    cancelRequested_ = true;
}

void CTransferProgressDlg::SetStatusText(const std::string& text) {
    SetDlgItemText(IDC_TRANSFER_STATUS, text);
}

bool CTransferProgressDlg::Scaled() const {
    return !dialogs::FitsBar(lower_, upper_);
}

void CTransferProgressDlg::SendRangeToBar() {
    fw::ProgressBar* bar = GetProgressBar(IDC_TRANSFER_BAR);
    if (!bar) return;
    if (Scaled()) {
        bar->SendMessage(fw::PBM_SETRANGE, 0, fw::MakeLong(0, dialogs::kScaledBarUpper));
        bar->SendMessage(fw::PBM_SETPOS,
                         static_cast<fw::WPARAM>(ScaledBarPosition(position_, lower_, upper_)));
    } else {
        bar->SendMessage(fw::PBM_SETRANGE, 0, fw::MakeLong(lower_, upper_));
        // The bar clamps its position as position_ was clamped; this only matters after a scaled
        // range, when the bar still stands at a scaled position.
        bar->SendMessage(fw::PBM_SETPOS, static_cast<fw::WPARAM>(position_));
    }
}

void CTransferProgressDlg::SetBarRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    position_ = std::clamp<long long>(position_, std::min(lower, upper), std::max(lower, upper));
    SendRangeToBar();
}

int CTransferProgressDlg::SetBarStep(int step) {
    int previous = step_ & 0xFFFF;
    step_ = step;
    if (fw::ProgressBar* bar = GetProgressBar(IDC_TRANSFER_BAR))
        previous =
            static_cast<int>(bar->SendMessage(fw::PBM_SETSTEP, static_cast<fw::WPARAM>(step)));
    return previous;
}

int CTransferProgressDlg::StepBar() {
    fw::PumpMessages();
    fw::ProgressBar* bar = GetProgressBar(IDC_TRANSFER_BAR);
    if (!bar) return 0;
    long long previous = 0;
    if (Scaled()) {
        previous = position_;
        position_ = fw::ProgressBar::NextPosition(position_, step_, lower_, upper_);
        bar->SendMessage(fw::PBM_SETPOS,
                         static_cast<fw::WPARAM>(ScaledBarPosition(position_, lower_, upper_)));
    } else {
        previous = bar->SendMessage(fw::PBM_STEPIT);
        position_ = bar->Position();
    }
    ShowPercent(previous + step_);
    return static_cast<int>(previous);
}

bool CTransferProgressDlg::CancelRequested() {
    fw::PumpMessages();
    return std::exchange(cancelRequested_, false);
}

void CTransferProgressDlg::ShowPercent(long long position) {
    if (upper_ == lower_) return;
    int percent = PercentOf(position, lower_, upper_);
    std::string text = PercentText(percent);
    fw::Control* control = GetDlgItem(IDC_TRANSFER_PERCENT);
    if (!control || control->GetWindowText() == text) return;
    control->SetWindowText(text);
    fw::AnnouncePercentage(*control, percent);
}

#pragma once
// CTransferProgressDlg: a modeless, cancellable progress dialog for a long operation that runs on
// the UI thread (the data upload).
//
// The operation creates it, drives it with StepBar and CancelRequested, and destroys it. Both calls
// pump every waiting message of the thread first, so the windows stay alive and a Cancel press (the
// button, Enter, space, Esc or the close box) is taken in; the press is reported once. While the
// dialog lives, its owner is disabled; the dialog itself is not a Qt child of the owner, so it
// stays usable.
//
// Positions are in the caller's units. A range that fits the bar's 16 bits goes to the bar as is;
// a wider one (65536 blocks and more) is shown on a scaled bar, so the bar and the percentage still
// run from 0 to 100 %.
//
// UI thread only.

#include <string>

#include "framework/dialog.h"
#include "framework/window_disable.h"

class CTransferProgressDlg : public fw::Dialog {
  public:
    // `captionId`: the message whose text is the title; 0 for IDS_PROCESSING.
    explicit CTransferProgressDlg(int captionId = 0);
    ~CTransferProgressDlg() override;

    // Disables the owner's top-level window (or, without an owner, the application's most recently
    // active window) for as long as the dialog lives, then shows the dialog, owned by `owner` or by
    // the application's main window. False, with the hold on the owner let go, when that fails.
    bool Create(fw::Window* owner = nullptr);
    // Lets go of the window that Create disabled, then destroys the dialog. The window is enabled
    // again unless another window (a modal run over it) still holds it.
    void DestroyWindow();

    void SetStatusText(const std::string& text);
    void SetBarRange(int lower, int upper);
    // Returns the previous step (16 bits).
    int SetBarStep(int step);
    // Pumps messages, advances the bar by its step and shows the percentage of the previous
    // position plus the step.
    // Returns the previous position.
    int StepBar();
    // Pumps messages; true once for a Cancel pressed since the last call.
    bool CancelRequested();

  protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  private:
    void FitPercentControl();
    bool Scaled() const;
    void SendRangeToBar();
    void ShowPercent(long long position);

    int captionId_;
    int lower_ = 0;
    int upper_ = 100;
    int step_ = 10;
    long long position_ = 0;  // in the caller's units
    bool cancelRequested_ = false;
    fw::WindowDisable ownerDisable_;
};

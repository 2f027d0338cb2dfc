#pragma once
// The real main dialog, run in this process by a benchmark.
//
// UpdateDlgRun is an application object whose InitInstance builds a CUpdateDlg and runs it modally,
// as the tool's own does. While the dialog starts, a short repeating timer answers the
// port-selection dialog with Return (COM1: the benchmark points QELPUPD_COM1 at its pseudo-terminal
// beforehand). Once the dialog shows with nothing modal above it (its own loop runs) and its port
// open, the timer stops and `running` is called with the dialog; from then on the benchmark drives
// it with timers and signals of its own and ends it with PressKey(dialog.Widget(), Qt::Key_Escape).
// A message box on the way (no data file, the port cannot be opened) is answered, reported on
// stderr, and the run counts as not started. UI thread only; needs a QApplication and
// RegisterResources().

#include <Qt>
#include <QtGlobal>
#include <functional>

#include "app/update_dlg.h"
#include "framework/app.h"

class QWidget;

class UpdateDlgRun : public fw::WinApp {
  public:
    explicit UpdateDlgRun(std::function<void(CUpdateDlg&)> running)
        : running_(std::move(running)) {}

    bool InitInstance() override;
    // The dialog reached its modal loop with the port open and the console reader started.
    bool Started() const { return started_; }

  private:
    std::function<void(CUpdateDlg&)> running_;
    bool started_ = false;
};

// Sends a key press and release to `target` as if typed.
void PressKey(QWidget* target, Qt::Key key);

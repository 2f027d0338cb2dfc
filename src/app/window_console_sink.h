#pragma once
// The console reader's sink in the window program: each line is appended to the log control by one
// synchronous send (the text changes on the UI thread), the data request and the end of the run are
// posted to the main dialog as WM_DEVICE_DATAWAIT and WM_UPDATE_END, so that the reader never waits
// for the upload or the outcome report.
//
// Built on the UI thread before the reader starts, then used only by the reader's thread. Once the
// windows are gone, every call returns at once without effect.

#include <utility>

#include "framework/window.h"
#include "update/console_sink.h"

class WindowConsoleSink final : public ConsoleSink {
  public:
    WindowConsoleSink() = default;
    WindowConsoleSink(fw::WindowHandle log, fw::WindowHandle mainWindow)
        : log_(std::move(log)), mainWindow_(std::move(mainWindow)) {}

    // False once the log is gone.
    bool ShowLine(std::string_view shown) override;
    void DataRequested() override;
    void RunEnded() override;

  private:
    fw::WindowHandle log_;
    fw::WindowHandle mainWindow_;
};

#pragma once
// The console reader's sink in the window program: each line is appended to the log control by one
// synchronous send (the text changes on the UI thread), the data request and the end of the run are
// posted to the main dialog as WM_DEVICE_DATAWAIT and WM_UPDATE_END, so that the reader never waits
// for the upload or the outcome report.
//
// Every line the log shows goes to the run's update record too, from the reader's thread; a line
// that came after the log was gone is in neither.
//
// Built on the UI thread before the reader starts, then used only by the reader's thread. Once the
// windows are gone, every call returns at once without effect.

#include <utility>

#include "framework/window.h"
#include "update/console_sink.h"

class UpdateRecord;

class WindowConsoleSink final : public ConsoleSink {
  public:
    WindowConsoleSink() = default;
    // `record` may be null: nothing is recorded.
    WindowConsoleSink(fw::WindowHandle log, fw::WindowHandle mainWindow,
                      UpdateRecord* record = nullptr)
        : log_(std::move(log)), mainWindow_(std::move(mainWindow)), record_(record) {}

    void ShowLine(std::string_view shown) override;
    void DataRequested() override;
    void RunEnded() override;

  private:
    fw::WindowHandle log_;
    fw::WindowHandle mainWindow_;
    UpdateRecord* record_ = nullptr;
};

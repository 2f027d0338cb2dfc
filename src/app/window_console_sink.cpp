#include "app/window_console_sink.h"

#include "app/update_messages.h"
#include "framework/edit_ops.h"
#include "update/update_record.h"

void WindowConsoleSink::ShowLine(std::string_view shown) {
    if (!fw::EditAppendAndShowEnd(log_, shown) || !record_) return;
    // The record keeps the device's text; its console file ends each line with LF.
    if (shown.ends_with("\r\n")) shown.remove_suffix(2);
    record_->ConsoleLine(shown);
}

void WindowConsoleSink::DataRequested() {
    fw::PostMessage(mainWindow_, WM_DEVICE_DATAWAIT, 0, 0);
}

void WindowConsoleSink::RunEnded() {
    fw::PostMessage(mainWindow_, WM_UPDATE_END, 0, 0);
}

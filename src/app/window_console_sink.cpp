#include "app/window_console_sink.h"

#include "app/update_messages.h"
#include "framework/edit_ops.h"

bool WindowConsoleSink::ShowLine(std::string_view shown) {
    return fw::EditAppendAndShowEnd(log_, shown);
}

void WindowConsoleSink::DataRequested() {
    fw::PostMessage(mainWindow_, WM_DEVICE_DATAWAIT, 0, 0);
}

void WindowConsoleSink::RunEnded() {
    fw::PostMessage(mainWindow_, WM_UPDATE_END, 0, 0);
}

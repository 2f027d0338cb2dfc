#pragma once
// What the update's threads share while the port is open.
//
// The UI thread (the main dialog and the upload) and the console reader read and write the flags;
// the port watcher fills the receive buffer that the reader drains. Whoever sets the stop flag from
// outside the reader calls RequestStop, so that a reader waiting on an empty buffer wakes at once.

#include <atomic>

#include "framework/win_types.h"
#include "framework/window.h"

class ReceiveBuffer;
class UpdateRecord;

// Private messages of the main dialog, posted by the console reader with zero parameters.
inline constexpr fw::UINT WM_DEVICE_DATAWAIT = fw::WM_USER + 1;
inline constexpr fw::UINT WM_UPDATE_END = fw::WM_USER + 2;

struct UpdateFlags {
    std::atomic<int> stop{0};    // nonzero: the console reader leaves its loop
    std::atomic<int> result{1};  // nonzero: the update counts as successful
};

struct UpdateSession {
    ReceiveBuffer* buffer = nullptr;  // the port's receive buffer
    fw::WindowHandle log;             // the log edit control
    fw::WindowHandle mainWindow;      // receives WM_DEVICE_DATAWAIT and WM_UPDATE_END
    UpdateRecord* record = nullptr;   // takes every line the log shows; none: nothing is recorded
    UpdateFlags flags;

    // Any thread: sets the stop flag and wakes a reader that waits for bytes.
    void RequestStop();
};

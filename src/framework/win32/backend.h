#pragma once
// What the Win32 files of the framework share. Internal to the framework.
//
// The UI thread is the thread that runs WinApp::Run (or, in tests, the first to build a window).
// Every message the framework's loops take from the queue goes through DispatchMessageOf, so that
// each dialog's keyboard handling (IsDialogMessage: Tab, arrows, Enter, Esc, mnemonics) works in
// whichever loop runs - a modal run, the upload's pumping, a port wait.

#include <windows.h>

namespace fw {
class Dialog;
}

namespace fw::win32 {

// The program's module, for its resources.
HINSTANCE Instance();

// Makes the calling thread the UI thread, once: notes it and creates the window through which
// other threads' calls reach it. The first call wins.
void AdoptUiThread();
// Runs the calls other threads queued; every loop of the UI thread does this as it dispatches.
void RunQueuedCalls();
// Drops the calls still queued, releasing their senders: the UI thread is going away.
void DropQueuedCalls();

// Translates and dispatches one message taken from the queue, unless the keyboard handling of the
// dialog it is for takes it.
void DispatchMessageOf(MSG& message);

// The framework's dialog behind a window, or nullptr.
Dialog* DialogOf(HWND window);

// The device context of the WM_PAINT being handled for `window`, or nullptr outside it.
HDC PaintingContext(HWND window);

}  // namespace fw::win32

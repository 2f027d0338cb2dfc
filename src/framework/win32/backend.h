#pragma once
// What the Win32 files of the framework share. Internal to the framework.
//
// The UI thread is the thread that runs WinApp::Run (or, in tests, the first to build a window).
// Every message the framework's loops take from the queue goes through DispatchMessageOf, so that
// each dialog's keyboard handling (IsDialogMessage: Tab, arrows, Enter, Esc, mnemonics) works in
// whichever loop runs - a modal run, the upload's pumping, a port wait.

#include "framework/win32/windows_api.h"

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

// The keyboard handling of the framework's dialog that `message` is for takes it (IsDialogMessage).
bool TakenByDialog(MSG& message);
// Translates and dispatches one message taken from the queue, unless TakenByDialog.
void DispatchMessageOf(MSG& message);

// The framework's dialog behind a window, or nullptr.
Dialog* DialogOf(HWND window);

// Brings a window the operator must answer to the front, as far as Windows lets a process: the
// foreground is granted on SetForegroundWindow's terms (to a process the foreground one started,
// or that had the last input, or once the foreground lock time-out has passed). Refused, the
// window's taskbar button flashes until the operator comes to it.
void BringToFront(HWND window);

// The session is about to end: true when a SessionEndHold asks it to wait (termination.h), and then
// `window`'s top-level window carries the hold's reason.
bool AskSessionEndToWait(HWND window);
// The session ends (logoff, shutdown): the session-end handler, or else the termination handler,
// hears of it (termination.h).
void NoteSessionEnding();

}  // namespace fw::win32

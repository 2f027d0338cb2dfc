// Termination requests on Win32: Ctrl+C, Ctrl+Break and closing the console, where the program has
// one, and the end of the session (logoff, shutdown). A console event comes on a thread of its own
// and is queued for the UI thread; the end of the session reaches the dialogs as
// WM_QUERYENDSESSION and WM_ENDSESSION, on the UI thread.
#include "framework/termination.h"

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/ui_thread.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {
namespace {

std::function<void(const char*)>& Handler() {
    static std::function<void(const char*)> handler;
    return handler;
}

std::function<void()>& SessionEndHandler() {
    static std::function<void()> handler;
    return handler;
}

// The holds that live, innermost last, and the windows that got a block reason for them.
struct Holds {
    std::vector<std::wstring> reasons;
    std::vector<HWND> blocking;
};

Holds& TheHolds() {
    static Holds holds;
    return holds;
}

const char* EventName(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            return "CTRL_C";
        case CTRL_BREAK_EVENT:
            return "CTRL_BREAK";
        case CTRL_CLOSE_EVENT:
            return "CTRL_CLOSE";
        default:
            return "CTRL_SHUTDOWN";
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    const char* name = EventName(event);
    return detail::QueueOnUiThread([name] {
        if (Handler()) Handler()(name);
    })
               ? TRUE
               : FALSE;
}

}  // namespace

void OnTerminationRequest(std::function<void(const char* signal)> handler) {
    const bool installing = static_cast<bool>(handler);
    Handler() = std::move(handler);
    SetConsoleCtrlHandler(OnConsoleEvent, installing ? TRUE : FALSE);
}

void EndByTerminationRequest(const char* signal) {
    // As the system ends a console program on Ctrl+C.
    (void)signal;
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

void OnSessionEnd(std::function<void()> handler) {
    SessionEndHandler() = std::move(handler);
}

SessionEndHold::SessionEndHold(std::string reason) {
    TheHolds().reasons.push_back(WideFromUtf8(reason));
}

SessionEndHold::~SessionEndHold() {
    Holds& holds = TheHolds();
    holds.reasons.pop_back();
    if (!holds.reasons.empty()) return;
    for (HWND window : holds.blocking)
        if (IsWindow(window)) ShutdownBlockReasonDestroy(window);
    holds.blocking.clear();
}

bool win32::AskSessionEndToWait(HWND window) {
    Holds& holds = TheHolds();
    if (holds.reasons.empty()) return false;
    // Shown by Windows beside the program's name while it asks the user whether to go on; a
    // window may carry a reason only on its own thread, which this is.
    HWND root = GetAncestor(window, GA_ROOT);
    if (ShutdownBlockReasonCreate(root, holds.reasons.back().c_str()))
        holds.blocking.push_back(root);
    return true;
}

void win32::NoteSessionEnding() {
    // The system may end the program as soon as the dialogs have answered WM_ENDSESSION: the
    // handler finishes before that. Every top-level window hears of it; the handler runs once.
    static bool ended = false;
    if (std::exchange(ended, true)) return;
    if (SessionEndHandler())
        SessionEndHandler()();
    else if (Handler())
        Handler()("WM_ENDSESSION");
}

}  // namespace fw

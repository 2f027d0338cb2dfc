// Termination requests on Win32: Ctrl+C, Ctrl+Break and closing the console, where the program has
// one, and the end of the session (logoff, shutdown). A console event comes on a thread of its own
// and is queued for the UI thread; the end of the session reaches the dialogs as WM_ENDSESSION.
#include "framework/termination.h"

#include <atomic>
#include <functional>

#include "framework/ui_thread.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {
namespace {

std::function<void(const char*)>& Handler() {
    static std::function<void(const char*)> handler;
    return handler;
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

void win32::NoteSessionEnding() {
    // The system ends the program once the dialogs have answered WM_ENDSESSION.
    if (Handler()) Handler()("WM_ENDSESSION");
}

}  // namespace fw

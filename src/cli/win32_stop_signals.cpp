// Stop requests on Windows: the console's control events, a timer queue's timer and the end of the
// session. The first two handlers run on threads of their own that the system starts, the window
// that hears the session's end on one of this file's, so all may wait and write freely.
#include <atomic>
#include <system_error>
#include <thread>

#include "cli/stop_signals.h"
#include "res/message_texts.h"
#include "update/standard_streams.h"
// After the project's headers:
#include "serial/win32_api.h"

namespace {

std::atomic<int> g_cause{static_cast<int>(StopCause::kNone)};
std::atomic<const char*> g_name{""};  // what caused the first stop
std::atomic<int> g_interrupts{0};
HANDLE g_wake = nullptr;  // manual-reset: set by the first stop, never reset
HANDLE g_timer = nullptr;
std::string g_interruptLine;

// The system ends a process this long after its console was closed; the run has until then.
constexpr DWORD kCloseAllowanceMs = 4500;
// A block still held back is given up this long after such a stop, which leaves the rest of the
// allowance for closing the port and writing the record.
constexpr std::chrono::milliseconds kCloseGiveUp{2500};
std::atomic<std::chrono::steady_clock::rep> g_giveUpBy{0};  // 0: no such stop

DWORD WINAPI WriteFinalLine(void* line) {
    (void)WriteAll(kStandardError, *static_cast<const std::string*>(line));
    return 0;
}

// The session's end: the hidden window, whether a transfer runs, and the run's last word.
constexpr wchar_t kSessionWindowClass[] = L"QelpUpdCliSession";
constexpr UINT kTransferEnded = WM_APP + 1;
std::atomic<int> g_transfers{0};  // under way: a station runs one on each of several ports
std::atomic<HWND> g_sessionWindow{nullptr};
HANDLE g_runFinished = nullptr;  // manual-reset: set once the run has written its record

[[noreturn]] void EndAtOnce(const std::string& line, int status) {
    // On a thread of its own, waited for briefly: a standard error that takes nothing would hold
    // the end.
    if (HANDLE writer =
            CreateThread(nullptr, 0, WriteFinalLine, const_cast<std::string*>(&line), 0, nullptr)) {
        WaitForSingleObject(writer, 200);
        CloseHandle(writer);
    }
    // No clean-up of the other threads: the system closes the port's handle as the process goes,
    // which drops DTR, and no record is written.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    for (;;) Sleep(INFINITE);
}

void Request(StopCause cause, const char* name) {
    int none = static_cast<int>(StopCause::kNone);
    if (g_cause.compare_exchange_strong(none, static_cast<int>(cause))) g_name.store(name);
    SetEvent(g_wake);
}

BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            if (g_interrupts.fetch_add(1) >= 1) EndAtOnce(g_interruptLine, ExitStatusAtOnce());
            Request(StopCause::kInterrupt,
                    event == CTRL_C_EVENT ? "CTRL_C_EVENT" : "CTRL_BREAK_EVENT");
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // Returning lets the system end the process at once: hold it while the run stops,
            // closes the port and writes its record; main's return ends the process first.
            g_giveUpBy.store(
                (std::chrono::steady_clock::now() + kCloseGiveUp).time_since_epoch().count());
            Request(StopCause::kInterrupt, event == CTRL_CLOSE_EVENT    ? "CTRL_CLOSE_EVENT"
                                           : event == CTRL_LOGOFF_EVENT ? "CTRL_LOGOFF_EVENT"
                                                                        : "CTRL_SHUTDOWN_EVENT");
            Sleep(kCloseAllowanceMs);
            return TRUE;
        default:
            return FALSE;
    }
}

LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_QUERYENDSESSION:
            if (g_transfers.load() == 0) return TRUE;
            // A window may carry a reason only on its own thread, which this is.
            ShutdownBlockReasonCreate(window, WideFromUtf8(res::kTransferRunsReason).c_str());
            return FALSE;
        case kTransferEnded:
            ShutdownBlockReasonDestroy(window);
            return 0;
        case WM_ENDSESSION:
            // The system may end the process as soon as this returns.
            if (wParam) {
                Request(StopCause::kInterrupt, "WM_ENDSESSION");
                WaitForSingleObject(g_runFinished,
                                    static_cast<DWORD>(kSessionEndAllowance.count()));
            }
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The session's end comes to top-level windows only (never to a message-only one): a hidden one,
// with a loop of its own on this thread for the rest of the process.
void HearSessionEnd(HANDLE ready) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = OnSessionMessage;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kSessionWindowClass;
    RegisterClassW(&windowClass);
    g_sessionWindow.store(CreateWindowExW(0, kSessionWindowClass, L"qelpupd-cli", WS_OVERLAPPED, 0,
                                          0, 0, 0, nullptr, nullptr, windowClass.hInstance,
                                          nullptr));
    SetEvent(ready);
    if (g_sessionWindow.load() == nullptr) return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

// Without its window the program runs all the same; only the session's end is not waited for.
void StartHearingSessionEnd() {
    g_runFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_runFinished == nullptr || ready == nullptr) return;
    try {
        std::thread(HearSessionEnd, ready).detach();
    } catch (const std::system_error&) {
        CloseHandle(ready);
        return;
    }
    // The window exists before the run starts, so that a session ending at once finds it. A
    // thread that has not got that far by then keeps the event, never closed, to set later.
    if (WaitForSingleObject(ready, 5000) == WAIT_OBJECT_0) CloseHandle(ready);
}

void CALLBACK OnTimer(void*, BOOLEAN) {
    Request(StopCause::kTimeout, "timeout");
}

}  // namespace

bool InstallStopSignals(std::string interruptLine) {
    g_interruptLine = std::move(interruptLine);
    g_wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_wake == nullptr || SetConsoleCtrlHandler(OnControl, TRUE) == 0) return false;
    StartHearingSessionEnd();
    return true;
}

void NoteTransfer(bool running) {
    if (running) {
        g_transfers.fetch_add(1);
        return;
    }
    // The last to end lets the session end; one that begins meanwhile is asked about again.
    if (g_transfers.fetch_sub(1) != 1) return;
    if (HWND window = g_sessionWindow.load()) PostMessageW(window, kTransferEnded, 0, 0);
}

void NoteRunFinished() {
    if (g_runFinished != nullptr) SetEvent(g_runFinished);
}

bool ArmTimeout(std::chrono::milliseconds after) {
    if (g_timer != nullptr) DeleteTimerQueueTimer(nullptr, g_timer, nullptr);
    g_timer = nullptr;
    return CreateTimerQueueTimer(&g_timer, nullptr, OnTimer, nullptr,
                                 static_cast<DWORD>(after.count()), 0, WT_EXECUTEONLYONCE) != 0;
}

StopCause StopRequested() {
    return static_cast<StopCause>(g_cause.load());
}

const char* StopSignalName() {
    return g_name.load();
}

std::optional<std::chrono::steady_clock::time_point> StopGiveUpBy() {
    const auto by = g_giveUpBy.load();
    if (by == 0) return std::nullopt;
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(by));
}

std::intptr_t StopWaitObject() {
    return reinterpret_cast<std::intptr_t>(g_wake);
}

// Stop requests on Windows: the console's control events and a timer queue's timer. Both handlers
// run on threads of their own that the system starts, so they may wait and write freely.
#include <atomic>

#include "cli/stop_signals.h"
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

DWORD WINAPI WriteFinalLine(void* line) {
    (void)WriteAll(kStandardError, *static_cast<const std::string*>(line));
    return 0;
}

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
            Request(StopCause::kInterrupt, event == CTRL_CLOSE_EVENT    ? "CTRL_CLOSE_EVENT"
                                           : event == CTRL_LOGOFF_EVENT ? "CTRL_LOGOFF_EVENT"
                                                                        : "CTRL_SHUTDOWN_EVENT");
            Sleep(kCloseAllowanceMs);
            return TRUE;
        default:
            return FALSE;
    }
}

void CALLBACK OnTimer(void*, BOOLEAN) {
    Request(StopCause::kTimeout, "timeout");
}

}  // namespace

bool InstallStopSignals(std::string interruptLine) {
    g_interruptLine = std::move(interruptLine);
    g_wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return g_wake != nullptr && SetConsoleCtrlHandler(OnControl, TRUE) != 0;
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

std::intptr_t StopWaitObject() {
    return reinterpret_cast<std::intptr_t>(g_wake);
}

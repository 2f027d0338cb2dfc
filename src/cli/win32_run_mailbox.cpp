// The run mailbox's waiting on Windows: a manual-reset event, waited on beside the stop requests'.
#include "cli/run_mailbox.h"
#include "cli/stop_signals.h"
// After the project's headers:
#include "serial/win32_api.h"

RunMailbox::RunMailbox()
    : signal_(reinterpret_cast<std::intptr_t>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
    if (signal_ == 0) signal_ = -1;
}

RunMailbox::~RunMailbox() {
    if (signal_ != -1) CloseHandle(reinterpret_cast<HANDLE>(signal_));
}

bool RunMailbox::Ready() const {
    return signal_ != -1;
}

void RunMailbox::Signal() {
    SetEvent(reinterpret_cast<HANDLE>(signal_));
}

void RunMailbox::Quiet() {
    ResetEvent(reinterpret_cast<HANDLE>(signal_));
}

RunMailbox::Wake RunMailbox::WaitForNewsOrStop(int& error) {
    const HANDLE objects[2] = {reinterpret_cast<HANDLE>(signal_),
                               reinterpret_cast<HANDLE>(StopWaitObject())};
    for (;;) {
        if (StopRequested() != StopCause::kNone) return Wake::kStop;
        // No time-out: the time-out arrives as a stop request, which sets the stop's event.
        switch (WaitForMultipleObjects(2, objects, FALSE, INFINITE)) {
            case WAIT_OBJECT_0:
                return Wake::kNews;
            case WAIT_OBJECT_0 + 1:
                break;  // seen at the top
            default:
                error = static_cast<int>(GetLastError());
                return Wake::kFailed;
        }
    }
}

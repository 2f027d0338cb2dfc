// Wake-ups on Windows: a manual-reset event, and WaitForMultipleObjects.
#include <algorithm>

#include "cli/wake_signal.h"
// After the project's headers:
#include "serial/win32_api.h"

WakeSignal::WakeSignal()
    : object_(reinterpret_cast<WaitObject>(CreateEventW(nullptr, TRUE, FALSE, nullptr))) {}

WakeSignal::~WakeSignal() {
    if (object_ != 0) CloseHandle(reinterpret_cast<HANDLE>(object_));
}

bool WakeSignal::Ready() const {
    return object_ != 0;
}

void WakeSignal::Raise() {
    SetEvent(reinterpret_cast<HANDLE>(object_));
}

void WakeSignal::Lower() {
    ResetEvent(reinterpret_cast<HANDLE>(object_));
}

WaitOutcome WaitForAny(std::span<const WaitObject> objects,
                       std::optional<std::chrono::steady_clock::time_point> until,
                       std::size_t& which, int& error) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    const auto count =
        static_cast<DWORD>(std::min<std::size_t>(objects.size(), MAXIMUM_WAIT_OBJECTS));
    for (DWORD i = 0; i < count; ++i) handles[i] = reinterpret_cast<HANDLE>(objects[i]);
    for (;;) {
        DWORD timeout = INFINITE;
        if (until) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return WaitOutcome::kTimedOut;
            timeout = static_cast<DWORD>(std::min<long long>(left.count(), INFINITE - 1));
        }
        const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, timeout);
        if (woke >= WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + count) {
            which = woke - WAIT_OBJECT_0;
            return WaitOutcome::kSignalled;
        }
        if (woke != WAIT_TIMEOUT) {
            error = static_cast<int>(GetLastError());
            return WaitOutcome::kFailed;
        }
        // The time-out rounded down: look at the clock again.
    }
}

// The cli's port waits on Windows: the write's event and the stop requests' event in one wait.
#include <algorithm>

#include "cli/stopping_port_waiter.h"
// After the project's headers:
#include "serial/win32_api.h"

PortWaitEnd StoppingPortWaiter::Wait(PortWaitObject object, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto now = Clock::now();
        if (!giveUpAt_ && StopRequested() == StopCause::kTimeout) giveUpAt_ = now + kBlockGrace;
        if (giveUpAt_ && now >= *giveUpAt_) return PortWaitEnd::kInterrupted;
        if (now >= deadline) return PortWaitEnd::kTimedOut;
        const auto until = giveUpAt_ ? std::min(deadline, *giveUpAt_) : deadline;
        const auto left =
            static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
        // The stop's event stays set after a stop: it is watched only until then.
        HANDLE objects[2];
        DWORD count = 0;
        if (object != kNoWaitObject) objects[count++] = object;
        if (StopRequested() == StopCause::kNone)
            objects[count++] = reinterpret_cast<HANDLE>(StopWaitObject());
        const DWORD woke = count == 0 ? (Sleep(left), WAIT_TIMEOUT)
                                      : WaitForMultipleObjects(count, objects, FALSE, left);
        if (woke == WAIT_FAILED) return PortWaitEnd::kFailed;
        if (object != kNoWaitObject && woke == WAIT_OBJECT_0) return PortWaitEnd::kReady;
    }
}

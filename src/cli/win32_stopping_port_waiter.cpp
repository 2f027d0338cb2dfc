// The cli's port waits on Windows: the write's event and the stop requests' event in one wait.
#include "cli/stopping_port_waiter.h"
// After the project's headers:
#include "serial/win32_api.h"

StoppingPortWaiter::Woke StoppingPortWaiter::SleepOnPortOrStop(PortWaitObject object,
                                                               std::chrono::milliseconds timeout,
                                                               bool watchStop) {
    HANDLE objects[2];
    DWORD count = 0;
    if (object != kNoWaitObject) objects[count++] = object;
    if (watchStop) objects[count++] = reinterpret_cast<HANDLE>(StopWaitObject());
    const auto milliseconds = static_cast<DWORD>(timeout.count());
    if (count == 0) {
        Sleep(milliseconds);
        return Woke::kOther;
    }
    const DWORD woke = WaitForMultipleObjects(count, objects, FALSE, milliseconds);
    if (woke == WAIT_FAILED) return Woke::kFailed;
    return object != kNoWaitObject && woke == WAIT_OBJECT_0 ? Woke::kPort : Woke::kOther;
}

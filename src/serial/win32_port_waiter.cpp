// PollingPortWaiter on Windows: WaitForSingleObject on the write's event, or a plain Sleep when
// there is nothing to wait on.
#include <algorithm>

#include "serial/port_waiter.h"
#include "serial/win32_api.h"

PortWaitEnd PollingPortWaiter::Wait(PortWaitObject object, std::chrono::milliseconds timeout) {
    const auto milliseconds = static_cast<DWORD>(std::max<long long>(timeout.count(), 0));
    if (object == kNoWaitObject) {
        Sleep(milliseconds);
        return PortWaitEnd::kTimedOut;
    }
    switch (WaitForSingleObject(object, milliseconds)) {
        case WAIT_OBJECT_0:
            return PortWaitEnd::kReady;
        case WAIT_TIMEOUT:
            return PortWaitEnd::kTimedOut;
        default:
            return PortWaitEnd::kFailed;
    }
}

// PollingPortWaiter on POSIX: one poll() for POLLOUT, or a plain timed poll() without descriptor.
#include <poll.h>

#include <cerrno>

#include "serial/port_waiter.h"

PortWaitEnd PollingPortWaiter::Wait(PortWaitObject descriptor, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return PortWaitEnd::kTimedOut;
        pollfd port{descriptor, POLLOUT, 0};
        // A negative descriptor is skipped by poll(): the call then just sleeps.
        const int ready = poll(&port, 1, static_cast<int>(left));
        if (ready > 0) return PortWaitEnd::kReady;
        if (ready == 0) return PortWaitEnd::kTimedOut;
        if (errno != EINTR) return PortWaitEnd::kFailed;
    }
}

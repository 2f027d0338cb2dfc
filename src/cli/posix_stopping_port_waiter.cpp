// The cli's port waits on POSIX: poll() on the port and on the stop requests' pipe.
#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "cli/stopping_port_waiter.h"

PortWaitEnd StoppingPortWaiter::Wait(PortWaitObject descriptor, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto now = Clock::now();
        if (!giveUpAt_ && StopRequested() == StopCause::kTimeout) giveUpAt_ = now + kBlockGrace;
        if (giveUpAt_ && now >= *giveUpAt_) return PortWaitEnd::kInterrupted;
        if (now >= deadline) return PortWaitEnd::kTimedOut;
        const auto until = giveUpAt_ ? std::min(deadline, *giveUpAt_) : deadline;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        // The wake-up descriptor stays readable after a stop: it is watched only until then. A
        // negative descriptor is skipped by poll().
        const bool watchStop = StopRequested() == StopCause::kNone;
        pollfd fds[2] = {{descriptor, POLLOUT, 0},
                         {watchStop ? static_cast<int>(StopWaitObject()) : -1, POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) return PortWaitEnd::kFailed;
        if (ready > 0 && fds[0].revents != 0) return PortWaitEnd::kReady;
    }
}

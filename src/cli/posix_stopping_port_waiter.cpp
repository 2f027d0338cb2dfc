// The cli's port waits on POSIX: poll() on the port and on the stop requests' pipe.
#include <poll.h>

#include <cerrno>

#include "cli/stopping_port_waiter.h"

StoppingPortWaiter::Woke StoppingPortWaiter::SleepOnPortOrStop(PortWaitObject object,
                                                               std::chrono::milliseconds timeout,
                                                               bool watchStop) {
    // poll() skips a negative descriptor.
    pollfd fds[2] = {{object, POLLOUT, 0},
                     {watchStop ? static_cast<int>(StopWaitObject()) : -1, POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(timeout.count()));
    if (ready < 0 && errno != EINTR) return Woke::kFailed;
    return ready > 0 && fds[0].revents != 0 ? Woke::kPort : Woke::kOther;
}

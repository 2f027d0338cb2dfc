// Wake-ups on POSIX: an eventfd, and poll() over readable descriptors.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

#include "cli/wake_signal.h"

WakeSignal::WakeSignal() : object_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeSignal::~WakeSignal() {
    if (object_ >= 0) close(static_cast<int>(object_));
}

bool WakeSignal::Ready() const {
    return object_ >= 0;
}

void WakeSignal::Raise() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(static_cast<int>(object_), &one, sizeof one);
}

void WakeSignal::Lower() {
    std::uint64_t count = 0;
    // Non-blocking: nothing to read only means nothing was raised.
    [[maybe_unused]] const ssize_t n = read(static_cast<int>(object_), &count, sizeof count);
}

WaitOutcome WaitForAny(std::span<const WaitObject> objects,
                       std::optional<std::chrono::steady_clock::time_point> until,
                       std::size_t& which, int& error) {
    std::vector<pollfd> fds;
    for (const WaitObject object : objects) fds.push_back({static_cast<int>(object), POLLIN, 0});
    for (;;) {
        int timeout = -1;
        if (until) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return WaitOutcome::kTimedOut;
            timeout = static_cast<int>(std::min<long long>(left.count(), INT_MAX));
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            error = errno;
            return WaitOutcome::kFailed;
        }
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].revents != 0) {
                which = i;
                return WaitOutcome::kSignalled;
            }
        }
        // Interrupted, or the time-out rounded down: look at the clock again.
    }
}

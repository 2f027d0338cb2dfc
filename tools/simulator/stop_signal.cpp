#include "simulator/stop_signal.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

namespace qelp::sim {

StopSignal::StopSignal() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    // Blocked, so they wait in the signalfd instead of killing the process; the ports' threads
    // start later and inherit the mask.
    if (const int error = pthread_sigmask(SIG_BLOCK, &stops, nullptr); error != 0) {
        throw std::system_error(error, std::generic_category(), "pthread_sigmask");
    }
    fd_ = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
    signal(SIGPIPE, SIG_IGN);
}

StopSignal::~StopSignal() {
    close(fd_);
}

bool stoppedBefore(int stopFd, std::chrono::steady_clock::time_point deadline) {
    pollfd stop{stopFd, POLLIN, 0};
    for (;;) {
        // Rounded up, so that the wait never ends just before the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        const int ready =
            poll(&stop, 1,
                 static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), INT_MAX)));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "poll");
        }
    }
}

}  // namespace qelp::sim

// The run mailbox's waiting on POSIX: an eventfd, polled beside the stop requests' pipe.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "cli/run_mailbox.h"
#include "cli/stop_signals.h"

RunMailbox::RunMailbox() : signal_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

RunMailbox::~RunMailbox() {
    if (signal_ >= 0) close(static_cast<int>(signal_));
}

bool RunMailbox::Ready() const {
    return signal_ >= 0;
}

void RunMailbox::Signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(static_cast<int>(signal_), &one, sizeof one);
}

void RunMailbox::Quiet() {
    std::uint64_t count = 0;
    // Non-blocking: nothing to read only means nothing new was posted.
    [[maybe_unused]] const ssize_t n = read(static_cast<int>(signal_), &count, sizeof count);
}

RunMailbox::Wake RunMailbox::WaitForNewsOrStop(int& error) {
    pollfd fds[2] = {{static_cast<int>(signal_), POLLIN, 0},
                     {static_cast<int>(StopWaitObject()), POLLIN, 0}};
    for (;;) {
        if (StopRequested() != StopCause::kNone) return Wake::kStop;
        // No time-out: the time-out arrives as a stop request, which makes the pipe readable.
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno != EINTR) {
            error = errno;
            return Wake::kFailed;
        }
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) return Wake::kNews;
    }
}

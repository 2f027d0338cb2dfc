#include "simulator/stop_signal.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace qelp::sim {

StopSignal::StopSignal() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    // Blocked, so they wait in the signalfd instead of killing the process; single-threaded, so
    // sigprocmask covers the whole program.
    if (sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) {
        throw std::system_error(errno, std::generic_category(), "sigprocmask");
    }
    fd_ = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
    signal(SIGPIPE, SIG_IGN);
}

StopSignal::~StopSignal() {
    close(fd_);
}

}  // namespace qelp::sim

#include "simulator/pty_device.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <system_error>

namespace qelp::sim {
namespace {

constexpr auto kSettingsCheckInterval = std::chrono::milliseconds(20);

// Rounded up, so a wait never ends just before its deadline and loops on a zero timeout.
int millisUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INT_MAX));
}

bool meansHangUp(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

}  // namespace

PtyDevice::PtyDevice(int stopFd) : stopFd_(stopFd) {
    if (openpty(&master_, &ownSlave_, nullptr, nullptr, nullptr) != 0) {
        throw std::system_error(errno, std::generic_category(), "openpty");
    }
    std::array<char, 128> name{};
    if (ttyname_r(ownSlave_, name.data(), name.size()) != 0) {
        const int error = errno;
        close(master_);
        close(ownSlave_);
        throw std::system_error(error, std::generic_category(), "ttyname_r");
    }
    slavePath_ = name.data();
    if (tcgetattr(master_, &fresh_) != 0) {
        const int error = errno;
        close(master_);
        close(ownSlave_);
        throw std::system_error(error, std::generic_category(), "tcgetattr");
    }
    // Made before anyone knows the path. Without it (out of inotify instances) the wait for the
    // tool looks at the settings all along, as it does after an open.
    openWatch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (openWatch_ >= 0 && inotify_add_watch(openWatch_, slavePath_.c_str(), IN_OPEN) < 0) {
        close(openWatch_);
        openWatch_ = -1;
    }
    // Non-blocking, so that a read or write never outlasts the poll that announced it.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(ownSlave_, F_SETFD, FD_CLOEXEC);
}

PtyDevice::~PtyDevice() {
    releaseOwnSlave();
    hangUp();
    if (openWatch_ >= 0) close(openWatch_);
}

std::optional<termios> PtyDevice::portSettings() const {
    termios settings{};
    if (master_ < 0 || tcgetattr(master_, &settings) != 0) return std::nullopt;
    return settings;
}

WaitResult PtyDevice::waitUntilRaw(Clock::time_point deadline) {
    std::array<pollfd, 2> fds{pollfd{stopFd_, POLLIN, 0}, pollfd{openWatch_, POLLIN, 0}};
    bool opened = openWatch_ < 0;
    for (;;) {
        const auto settings = portSettings();
        if (settings && (settings->c_lflag & ICANON) == 0) return WaitResult::kReady;
        const auto now = Clock::now();
        if (now >= deadline) return WaitResult::kTimedOut;
        // The tool sets the port up right after opening it.
        const auto next = opened ? std::min(deadline, now + kSettingsCheckInterval) : deadline;
        const int ready = poll(fds.data(), opened ? 1 : 2, millisUntil(next));
        if (ready < 0 && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "poll");
        if (ready > 0 && fds[0].revents != 0) return WaitResult::kInterrupted;
        if (ready > 0 && fds[1].revents != 0) {
            drainOpens();
            opened = true;
        }
    }
}

void PtyDevice::drainOpens() {
    if (openWatch_ < 0) return;
    std::array<char, 4096> events{};
    while (::read(openWatch_, events.data(), events.size()) > 0) {
    }
}

void PtyDevice::releaseOwnSlave() {
    if (ownSlave_ >= 0) close(ownSlave_);
    ownSlave_ = -1;
}

void PtyDevice::rearm() {
    if (master_ < 0) return;
    // Opens before this one are the tool's last session; one from now on wakes the next wait.
    drainOpens();
    const auto left = portSettings();
    if (tcsetattr(master_, TCSANOW, &fresh_) != 0) {
        throw std::system_error(errno, std::generic_category(), "tcsetattr on pty master");
    }
    // The tool may have opened the port again since its close; the settings it left are the ones
    // it sets, so putting them back undoes nothing of its setup.
    pollfd master{master_, 0, 0};
    if (poll(&master, 1, 0) < 0) throw std::system_error(errno, std::generic_category(), "poll");
    const bool slaveOpen = (master.revents & POLLHUP) == 0;
    if (slaveOpen && left && tcsetattr(master_, TCSANOW, &*left) != 0) {
        throw std::system_error(errno, std::generic_category(), "tcsetattr on pty master");
    }
}

std::size_t PtyDevice::dropUnread() {
    if (master_ < 0) return 0;
    int waiting = 0;
    if (ioctl(master_, FIONREAD, &waiting) != 0) waiting = 0;  // only for the transcript
    if (tcflush(master_, TCIFLUSH) != 0) {
        throw std::system_error(errno, std::generic_category(), "tcflush on pty master");
    }
    return static_cast<std::size_t>(std::max(waiting, 0));
}

void PtyDevice::hangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

PtyDevice::Woken PtyDevice::pollMaster(short events, std::optional<Clock::time_point> deadline) {
    std::array<pollfd, 2> fds{pollfd{master_, events, 0}, pollfd{stopFd_, POLLIN, 0}};
    for (;;) {
        const int timeout = deadline ? millisUntil(*deadline) : -1;
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) throw std::system_error(errno, std::generic_category(), "poll");
        if (fds[1].revents != 0) return Woken::kStop;
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Woken::kMasterHungUp;
        if (fds[0].revents != 0) return Woken::kMaster;
        if (deadline && Clock::now() >= *deadline) return Woken::kDeadline;
    }
}

WaitResult PtyDevice::writeAll(std::string_view bytes) {
    while (!bytes.empty()) {
        if (master_ < 0) return WaitResult::kHungUp;
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            if (meansHangUp(errno)) return WaitResult::kHungUp;
            throw std::system_error(errno, std::generic_category(), "write to pty master");
        }
        // The tool is not reading and the slave's input queue is full.
        switch (pollMaster(POLLOUT, std::nullopt)) {
            case Woken::kStop:
                return WaitResult::kInterrupted;
            case Woken::kMasterHungUp:
                return WaitResult::kHungUp;
            case Woken::kMaster:
            case Woken::kDeadline:
                break;
        }
    }
    return WaitResult::kReady;
}

PtyDevice::ReadResult PtyDevice::read(std::span<std::uint8_t> into, Clock::time_point deadline) {
    for (;;) {
        if (master_ < 0) return {WaitResult::kHungUp, 0};
        const Woken woken = pollMaster(POLLIN, deadline);
        switch (woken) {
            case Woken::kStop:
                return {WaitResult::kInterrupted, 0};
            case Woken::kDeadline:
                return {WaitResult::kTimedOut, 0};
            case Woken::kMaster:
            case Woken::kMasterHungUp:
                break;
        }
        // After a hang-up the bytes the tool wrote last are still read first; EIO follows them.
        const ssize_t n = ::read(master_, into.data(), into.size());
        if (n > 0) return {WaitResult::kReady, static_cast<std::size_t>(n)};
        // A read of 0 after "readable" is a hang-up too; looping on it would spin.
        if (n == 0 || woken == Woken::kMasterHungUp) return {WaitResult::kHungUp, 0};
        if (errno == EAGAIN || errno == EINTR) continue;
        if (meansHangUp(errno)) return {WaitResult::kHungUp, 0};
        throw std::system_error(errno, std::generic_category(), "read from pty master");
    }
}

WaitResult PtyDevice::waitForHangUp(Clock::time_point deadline) {
    if (master_ < 0) return WaitResult::kHungUp;
    // No events asked for: only POLLHUP and POLLERR can wake the master's side.
    switch (pollMaster(0, deadline)) {
        case Woken::kStop:
            return WaitResult::kInterrupted;
        case Woken::kDeadline:
            return WaitResult::kTimedOut;
        case Woken::kMaster:
        case Woken::kMasterHungUp:
            return WaitResult::kHungUp;
    }
    return WaitResult::kHungUp;
}

}  // namespace qelp::sim

// SerialDevice on POSIX terminals (Linux): exclusive open, termios settings, non-blocking I/O, and
// a poll() on the port plus an eventfd for the port watcher's wait.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "serial/posix_errors.h"
#include "serial/serial_device.h"
#include "serial/termios_settings.h"

namespace {

DeviceStatus Succeeded(long count = 0) {
    return DeviceStatus{count, DeviceFault::kNone, "", 0};
}

DeviceStatus OpenFailed(const char* call, int error) {
    return DeviceStatus{0, OpenFault(error), call, error};
}

DeviceStatus IoFailed(const char* call, int error) {
    return DeviceStatus{0, IoFault(error), call, error};
}

DeviceStatus HungUp(const char* call) {
    return DeviceStatus{0, DeviceFault::kGone, call, 0};
}

constexpr short kHangUpEvents = POLLHUP | POLLERR | POLLNVAL;

class PosixSerialDevice final : public SerialDevice {
  public:
    ~PosixSerialDevice() override { Close(); }

    DeviceStatus Open(const std::string& path) override {
        if (IsOpen()) return OpenFailed("open", EBUSY);
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return OpenFailed("open", errno);
        // flock stops a second open even by root, and is what serial terminals check; TIOCEXCL
        // stops programs that do not lock. Devices that are no terminals refuse it, harmlessly.
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) return CloseAfter(fd, "flock");
        if (ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY && errno != EINVAL) {
            return CloseAfter(fd, "ioctl(TIOCEXCL)");
        }
        const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wake < 0) return CloseAfter(fd, "eventfd");
        fd_ = fd;
        wakeFd_ = wake;
        return Succeeded();
    }

    bool IsOpen() const override { return fd_ >= 0; }

    DeviceStatus Configure(const DeviceControlBlock& settings) override {
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return IoFailed("tcgetattr", errno);
        if (!ApplyLineSettings(settings, tio)) {
            return DeviceStatus{0, DeviceFault::kOther, "termios settings", EINVAL};
        }
        if (tcsetattr(fd_, TCSANOW, &tio) != 0) return IoFailed("tcsetattr", errno);
        return Succeeded();
    }

    DeviceStatus Purge(bool output) override {
        if (tcflush(fd_, output ? TCIOFLUSH : TCIFLUSH) != 0) return IoFailed("tcflush", errno);
        return Succeeded();
    }

    DeviceStatus SetDtr(bool raised) override {
        const int dtr = TIOCM_DTR;
        if (ioctl(fd_, raised ? TIOCMBIS : TIOCMBIC, &dtr) != 0) {
            return IoFailed(raised ? "ioctl(TIOCMBIS)" : "ioctl(TIOCMBIC)", errno);
        }
        return Succeeded();
    }

    DeviceStatus ReadModemLines(ModemLines& lines) override {
        // ENOTTY on a pseudo-terminal, which has no modem lines.
        int status = 0;
        if (ioctl(fd_, TIOCMGET, &status) != 0) return IoFailed("ioctl(TIOCMGET)", errno);
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return IoFailed("tcgetattr", errno);
        lines.cts = (status & TIOCM_CTS) != 0;
        lines.dsr = (status & TIOCM_DSR) != 0;
        lines.outputWaitsForCts = (tio.c_cflag & CRTSCTS) != 0;
        lines.outputWaitsForDsr = false;
        return Succeeded();
    }

    DeviceStatus Write(const void* data, long length) override {
        for (;;) {
            const ssize_t n = write(fd_, data, static_cast<size_t>(length));
            if (n >= 0) return Succeeded(n);
            if (errno != EINTR) return IoFailed("write", errno);
        }
    }

    PortWaitObject WaitObject() const override { return fd_; }

    DeviceStatus OutputQueued() override {
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) != 0) return IoFailed("ioctl(TIOCOUTQ)", errno);
        return Succeeded(queued);
    }

    DeviceStatus Close() override {
        // Closing also releases the flock. A terminal's calls never outlive the call itself, so
        // nothing is ever given up here.
        if (fd_ >= 0) close(fd_);
        if (wakeFd_ >= 0) close(wakeFd_);
        fd_ = -1;
        wakeFd_ = -1;
        return Succeeded();
    }

    WaitResult WaitReadable() override {
        for (;;) {
            pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                // The port can no longer be waited on: end the watcher rather than spin.
                return WaitResult::kHungUp;
            }
            if (fds[0].revents != 0) return WaitResult::kWoken;
            if ((fds[1].revents & kHangUpEvents) != 0) return WaitResult::kHungUp;
            if ((fds[1].revents & POLLIN) != 0) return WaitResult::kReadable;
        }
    }

    DeviceStatus Read(void* destination, long maximum) override {
        for (;;) {
            const ssize_t n = read(fd_, destination, static_cast<size_t>(maximum));
            // With VMIN 1 and O_NONBLOCK an empty read is EAGAIN, so 0 means the line hung up.
            if (n == 0) return HungUp("read");
            if (n > 0) return Succeeded(n);
            if (errno == EAGAIN) return Succeeded(0);
            if (errno != EINTR) return IoFailed("read", errno);
        }
    }

    void Wake() override {
        // The counter stays non-zero until Close, so every later wait ends at once as well.
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    }

  private:
    static DeviceStatus CloseAfter(int fd, const char* call) {
        const int error = errno;
        close(fd);
        return OpenFailed(call, error);
    }

    // Set by Open and cleared by Close, both on the owning thread while no watcher runs.
    int fd_ = -1;
    int wakeFd_ = -1;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
    return std::make_unique<PosixSerialDevice>();
}

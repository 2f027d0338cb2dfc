#include "tools/host_port.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iterator>
#include <stdexcept>

using namespace std::chrono_literals;

HostPort::HostPort(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) throw std::runtime_error("open " + path);
    // What was sent before the port was set up is lost, as the tool's flush loses it. Flushed
    // before the setup, not after as the tool does, so that nothing a device sends once it sees
    // raw mode can be lost with it.
    if (tcflush(fd_, TCIOFLUSH) != 0) throw std::runtime_error("tcflush " + path);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B19200);
    settings.c_cflag |= CS8 | CLOCAL | CREAD | CRTSCTS;
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) throw std::runtime_error("tcsetattr " + path);
}

void HostPort::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::optional<std::string> HostPort::readRawLine() {
    std::size_t lf;
    while ((lf = pending_.find('\n')) == std::string::npos) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 20'000) <= 0 || (p.revents & POLLHUP) != 0) return std::nullopt;
        std::array<char, 512> chunk{};
        const ssize_t n = read(fd_, chunk.data(), chunk.size());
        if (n == 0 || (n < 0 && errno != EAGAIN)) return std::nullopt;
        if (n > 0) pending_.append(chunk.data(), static_cast<std::size_t>(n));
    }
    std::string line = pending_.substr(0, lf + 1);
    pending_.erase(0, lf + 1);
    return line;
}

std::size_t HostPort::writeInBlocks(const std::vector<std::uint8_t>& data,
                                    std::chrono::seconds stallTimeout) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n =
            write(fd_, data.data() + sent, std::min<std::size_t>(200, data.size() - sent));
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        pollfd p{fd_, POLLOUT, 0};
        if (errno != EAGAIN || poll(&p, 1, static_cast<int>(stallTimeout / 1ms)) <= 0 ||
            (p.revents & POLLHUP) != 0) {
            return sent;
        }
    }
    return sent;
}

bool HostPort::waitForHangUp() {
    // One deadline for the whole wait: a peer that keeps talking and never hangs up fails too.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        if ((p.revents & POLLHUP) != 0) return true;
        std::array<char, 512> discard{};
        if (read(fd_, discard.data(), discard.size()) < 0 && errno != EAGAIN) return false;
    }
}

std::string asConsoleShowsIt(const std::string& rawLine) {
    std::string shown;
    std::copy_if(rawLine.begin(), rawLine.end(), std::back_inserter(shown), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte != 0 && byte < 0x80 && byte != '\r' && byte != '\n';
    });
    return shown;
}

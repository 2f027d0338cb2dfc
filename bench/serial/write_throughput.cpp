// How fast WriteBlock moves a file in 200-byte blocks to a peer that reads at full speed, against a
// plain write() loop of the same data over the same kind of pseudo-terminal, in the same run.
// Prints figures; asserts nothing.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "serial/comm_port.h"
#include "serial/pty_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kBlock = 200;
constexpr long kTotal = 16L << 20;
constexpr int kRounds = 5;

// Reads from the master until `total` bytes came (or the line closed).
void DrainPeer(int master, long total) {
    std::vector<char> chunk(65536);
    for (long got = 0; got < total;) {
        const ssize_t n = read(master, chunk.data(), chunk.size());
        if (n <= 0) return;
        got += n;
    }
}

// Seconds from the first write until the peer has received everything.
double Timed(PtyPeer& peer, const std::function<bool(const char*)>& writeBlock) {
    const std::string block(kBlock, 'U');
    const auto start = Clock::now();
    std::thread reader(DrainPeer, peer.Master(), kTotal);
    bool ok = true;
    for (long sent = 0; ok && sent < kTotal; sent += kBlock) ok = writeBlock(block.data());
    reader.join();
    if (!ok) std::fprintf(stderr, "a write failed\n");
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The same line settings as the port, so that both sides run through the same terminal code.
int OpenPlain(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B19200);
    tio.c_cflag |= CRTSCTS | CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

bool PlainWrite(int fd, const char* data) {
    for (long done = 0; done < kBlock;) {
        const ssize_t n = write(fd, data + done, static_cast<size_t>(kBlock - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd out{fd, POLLOUT, 0};
            poll(&out, 1, -1);
        } else {
            return false;
        }
    }
    return true;
}

// The plain loop plus the one output-queue query that WriteBlock makes per block to learn that the
// block has left: shows how much of the difference is that system call.
bool PlainWriteAndQuery(int fd, const char* data) {
    int queued = 0;
    return PlainWrite(fd, data) && ioctl(fd, TIOCOUTQ, &queued) == 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    PtyPeer plainPeer;
    PtyPeer portPeer;
    const int plain = OpenPlain(plainPeer.SlavePath());
    setenv("QELPUPD_COM1", portPeer.SlavePath().c_str(), 1);
    CCommPort port;
    port.BaudRate = UPDATE_BAUD;
    if (plain < 0 || port.OpenPort("COM1") == 0) {
        std::fprintf(stderr, "cannot open the pseudo-terminals: %s\n",
                     port.DescribeOpenFailure().c_str());
        return 1;
    }

    std::vector<double> plainSeconds;
    std::vector<double> queriedSeconds;
    std::vector<double> portSeconds;
    for (int round = 0; round < kRounds; ++round) {
        plainSeconds.push_back(
            Timed(plainPeer, [&](const char* data) { return PlainWrite(plain, data); }));
        queriedSeconds.push_back(
            Timed(plainPeer, [&](const char* data) { return PlainWriteAndQuery(plain, data); }));
        portSeconds.push_back(
            Timed(portPeer, [&](const char* data) { return port.WriteBlock(data, kBlock) != 0; }));
    }
    close(plain);

    const double mib = static_cast<double>(kTotal) / (1 << 20);
    const double plainRate = mib / Median(plainSeconds);
    const double portRate = mib / Median(portSeconds);
    std::printf("WriteBlock throughput, %ld-byte blocks, %.0f MiB per round, median of %d rounds\n",
                kBlock, mib, kRounds);
    std::printf("  plain write() loop           : %6.1f MiB/s\n", plainRate);
    std::printf("  plain loop + TIOCOUTQ a block: %6.1f MiB/s\n", mib / Median(queriedSeconds));
    std::printf("  CCommPort::WriteBlock        : %6.1f MiB/s\n", portRate);
    std::printf("  ratio WriteBlock / plain     : %.2f\n", portRate / plainRate);
    return 0;
}

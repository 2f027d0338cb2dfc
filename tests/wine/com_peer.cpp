// wine_com_peer: the far end of a serial line for the Windows tests and benchmarks under Wine. A
// Linux program: it makes a pseudo-terminal, links its slave into the Wine prefix as a COM port
// ($WINEPREFIX/dosdevices/comN, which Wine opens as \\.\COMN), and plays the device on the master
// as the Windows program asks over a TCP connection on the loopback (control_peer.h is the
// Windows side). with_com_peer.sh starts it beside each test.
//
//   wine_com_peer --dosdevices DIR --port-file FILE
//
// It listens on 127.0.0.1 at a port the system picks and writes that number to FILE, takes one
// connection, answers one line per command line, and ends when the connection closes:
//   line                      a fresh line (the old one hangs up)  -> "line COM<n>"
//   settings                  the slave's settings as the Windows side left them
//                                                                  -> "settings 19200 baud, 8N1,
//                                                                  RTS/CTS"
//   send COUNT FIRST          writes COUNT bytes FIRST, FIRST+1, ... (mod 256)
//                                                                  -> "sent <clock before the
//                                                                  write>"
//   receive COUNT IDLE [BAUD] reads until COUNT bytes came or none for IDLE ms, at BAUD's pace when
//                             given                                -> "received <n> <hex bytes>"
//   hangup                    closes the master: the Windows side sees the line hang up ->
//   "hung-up" clock                                                          -> "clock <ns>"
// Clocks are CLOCK_MONOTONIC_RAW in nanoseconds, which is what Wine's QueryPerformanceCounter
// counts. Failures answer "error <why>". While no command asks it to read, it reads nothing: the
// line stalls once the pseudo-terminal is full.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "simulator/line_settings.h"
#include "simulator/pacer.h"

namespace {

using Clock = std::chrono::steady_clock;

long long RawClock() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// One pseudo-terminal, linked into the prefix as a COM port while the object lives.
class Line {
  public:
    explicit Line(const std::string& dosdevices) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            ptsname_r(master_, name, sizeof name) != 0) {
            Fail("posix_openpt");
        }
        slavePath_ = name;
        // Kept open, so that the master reads EIO only once the line really hangs up, not while
        // the Windows side has the port closed.
        slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) Fail("open " + slavePath_);
        // COM10 and up: Wine links COM1 to COM4 itself. symlink() fails for a taken name, so
        // peers running side by side each find their own.
        for (int n = 10; n < 256 && link_.empty(); ++n) {
            const std::string link = dosdevices + "/com" + std::to_string(n);
            if (symlink(name, link.c_str()) == 0) {
                link_ = link;
                com_ = "COM" + std::to_string(n);
            } else if (errno != EEXIST) {
                Fail("symlink " + link);
            }
        }
        if (link_.empty()) throw std::runtime_error("no free COM number in " + dosdevices);
    }
    ~Line() {
        HangUp();
        unlink(link_.c_str());
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    const std::string& Com() const { return com_; }
    int Master() const { return master_; }

    // The link stays, pointing nowhere, until the line is replaced: the Windows side may still
    // hold the port open under this COM name, and no other peer may hand the name out meanwhile.
    void HangUp() {
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        master_ = slave_ = -1;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string link_;
    std::string com_;
};

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        text += kDigits[c >> 4];
        text += kDigits[c & 15];
    }
    return text;
}

std::string Send(Line& line, long count, long first) {
    std::string bytes(static_cast<size_t>(count), '\0');
    for (long i = 0; i < count; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(first + i);
    const long long at = RawClock();
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = write(line.Master(), bytes.data() + sent, bytes.size() - sent);
        if (n <= 0) return "error write: " + std::string(std::strerror(errno));
        sent += static_cast<size_t>(n);
    }
    return "sent " + std::to_string(at);
}

std::string Receive(Line& line, size_t count, int idleMs, unsigned baud) {
    std::optional<qelp::sim::Pacer> pacer;
    if (baud > 0) pacer.emplace(baud, 10, Clock::now());
    std::string received;
    char chunk[4096];
    while (received.size() < count) {
        size_t allowed = std::min(sizeof chunk, count - received.size());
        if (pacer) {
            allowed = std::min(allowed, pacer->allowance(Clock::now()));
            if (allowed == 0) {
                std::this_thread::sleep_until(pacer->nextSliceAt());
                continue;
            }
        }
        pollfd master{line.Master(), POLLIN, 0};
        if (poll(&master, 1, idleMs) <= 0) break;
        const ssize_t n = read(line.Master(), chunk, allowed);
        if (n <= 0) break;
        received.append(chunk, static_cast<size_t>(n));
        if (pacer) pacer->consume(static_cast<size_t>(n));
    }
    return "received " + std::to_string(received.size()) + " " + Hex(received);
}

std::string Settings(const Line& line) {
    termios settings{};
    // A master reads its slave's settings.
    if (tcgetattr(line.Master(), &settings) != 0) {
        return "error tcgetattr: " + std::string(std::strerror(errno));
    }
    return "settings " + qelp::sim::describeLineSettings(settings).text;
}

std::string Answer(const std::string& command, std::unique_ptr<Line>& line,
                   const std::string& dosdevices) {
    std::istringstream words(command);
    std::string verb;
    words >> verb;
    if (verb == "clock") return "clock " + std::to_string(RawClock());
    if (verb == "line") {
        line.reset();
        line = std::make_unique<Line>(dosdevices);
        return "line " + line->Com();
    }
    if (!line || line->Master() < 0) return "error no line";
    if (verb == "settings") return Settings(*line);
    if (verb == "send") {
        long count = 0;
        long first = 0;
        words >> count >> first;
        return Send(*line, count, first);
    }
    if (verb == "receive") {
        size_t count = 0;
        int idleMs = 0;
        unsigned baud = 0;
        words >> count >> idleMs >> baud;
        return Receive(*line, count, idleMs, baud);
    }
    if (verb == "hangup") {
        line->HangUp();
        return "hung-up";
    }
    return "error unknown command: " + command;
}

int Listen(const std::string& portFile) {
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (server < 0 || bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(server, 1) != 0 ||
        getsockname(server, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Fail("listen");
    }
    // Written whole under another name first: the starter waits for the file to have content.
    const std::string partial = portFile + ".partial";
    std::ofstream(partial) << ntohs(address.sin_port) << "\n";
    if (rename(partial.c_str(), portFile.c_str()) != 0) Fail("rename " + portFile);
    return server;
}

int Serve(int server, const std::string& dosdevices) {
    // Nobody connecting within a minute: the test never started.
    pollfd waiting{server, POLLIN, 0};
    if (poll(&waiting, 1, 60000) <= 0) throw std::runtime_error("nobody connected");
    const int client = accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) Fail("accept");
    std::unique_ptr<Line> line;
    std::string pending;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(client, chunk, sizeof chunk);
        if (n <= 0) return 0;  // the test has ended
        pending.append(chunk, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!command.empty() && command.back() == '\r') command.pop_back();
            std::string reply;
            try {
                reply = Answer(command, line, dosdevices) + "\n";
            } catch (const std::exception& error) {
                reply = std::string("error ") + error.what() + "\n";
            }
            for (size_t sent = 0; sent < reply.size();) {
                const ssize_t w = write(client, reply.data() + sent, reply.size() - sent);
                if (w <= 0) return 0;
                sent += static_cast<size_t>(w);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string dosdevices;
    std::string portFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--dosdevices") dosdevices = argv[i + 1];
        if (option == "--port-file") portFile = argv[i + 1];
    }
    if (dosdevices.empty() || portFile.empty()) {
        std::fprintf(stderr, "usage: wine_com_peer --dosdevices DIR --port-file FILE\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return Serve(Listen(portFile), dosdevices);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "wine_com_peer: %s\n", error.what());
        return 1;
    }
}

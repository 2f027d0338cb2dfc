// The host side of the kernel serial test: plays the far ends of the guest's two serial ports and
// runs QEMU under a deadline.
//
//   kernel_serial_host --uart-socket PATH --usb-socket PATH --data FILE --adapter-serial TEXT
//                      --log FILE --timeout SECONDS -- qemu-system-x86_64 ARGS...
//
// It listens on the two Unix sockets before QEMU starts (QEMU's chardevs connect to them as
// clients, so that no byte the guest sends is lost), starts QEMU in a process group of its own
// with the console on a pipe, answers the guest's "hello COMn" lines, receives the data file on
// the adapter's socket and tells the guest whether every byte arrived. When QEMU has powered off
// it checks the guest's report (guest_report.h) and exits 0 only when all is as it must be. At the
// deadline QEMU's whole group is killed and the test fails: it never hangs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "guest_report.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string uartSocket;
    std::string usbSocket;
    std::string dataPath;
    std::string adapterSerial;
    std::string logPath;
    int timeoutSeconds = 0;
    std::vector<std::string> qemu;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            options.qemu.assign(argv + i + 1, argv + argc);
            break;
        }
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (arg == "--uart-socket") {
            options.uartSocket = value;
        } else if (arg == "--usb-socket") {
            options.usbSocket = value;
        } else if (arg == "--data") {
            options.dataPath = value;
        } else if (arg == "--adapter-serial") {
            options.adapterSerial = value;
        } else if (arg == "--log") {
            options.logPath = value;
        } else if (arg == "--timeout") {
            options.timeoutSeconds = std::atoi(value.c_str());
        } else {
            return false;
        }
    }
    return !options.uartSocket.empty() && !options.usbSocket.empty() && !options.dataPath.empty() &&
           !options.logPath.empty() && options.timeoutSeconds > 0 && !options.qemu.empty();
}

int Listen(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::strcpy(address.sun_path, path.c_str());
    unlink(path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 1) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// QEMU in a process group of its own, stdin from /dev/null, stdout and stderr into `output`.
pid_t StartQemu(const std::vector<std::string>& args, int& output) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(pipeFds[1], STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return -1;
    }
    setpgid(pid, pid);
    output = pipeFds[0];
    return pid;
}

// One far end: a listening socket, then the connection QEMU made to it.
struct FarEnd {
    int listener = -1;
    int connection = -1;
    bool closed = false;  // QEMU closed the connection: nothing more to poll
    std::string received;

    int PollFd() const {
        if (closed) return -1;
        return connection >= 0 ? connection : listener;
    }
};

// The far ends' conversation with the guest.
class Conversation {
  public:
    explicit Conversation(std::string file) : file_(std::move(file)) {}

    void OnUart(FarEnd& uart) {
        if (!uartAnswered_ && uart.received.find("hello COM1\n") != std::string::npos) {
            uartAnswered_ = SendAll(uart.connection, "answer COM1\n");
        }
    }

    void OnUsb(FarEnd& usb) {
        const std::string hello = "hello COM2\n";
        if (!usbAnswered_ && usb.received.rfind(hello, 0) == 0) {
            usbAnswered_ = SendAll(usb.connection, "answer COM2\n");
        }
        if (!usbAnswered_ || fileAnswered_) return;
        const size_t arrived = usb.received.size() - hello.size();
        if (arrived > 0 && !firstByte_) firstByte_ = Clock::now();
        if (arrived >= file_.size()) {
            lastByte_ = Clock::now();
            const bool same = usb.received.compare(hello.size(), std::string::npos, file_) == 0;
            fileAnswered_ = SendAll(usb.connection, "received " + std::to_string(arrived) +
                                                        (same ? " same\n" : " different\n"));
        }
    }

    // First to last byte of the file at the adapter's far end; -1 when it never completed.
    long FileMilliseconds() const {
        if (!firstByte_ || !lastByte_) return -1;
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(*lastByte_ - *firstByte_)
                .count());
    }

  private:
    const std::string file_;
    bool uartAnswered_ = false;
    bool usbAnswered_ = false;
    bool fileAnswered_ = false;
    std::optional<Clock::time_point> firstByte_;
    std::optional<Clock::time_point> lastByte_;
};

// Reads what is there; false at the end of the stream.
bool ReadInto(int fd, std::string& into) {
    char chunk[4096];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) into.append(chunk, static_cast<size_t>(n));
    return n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN));
}

// The guest's console: kept whole in the log file, its report lines parsed and echoed, its last
// lines kept for a failure's message.
class Console {
  public:
    explicit Console(const std::string& logPath) : log_(logPath, std::ios::binary) {}

    void Add(const std::string& text, GuestReport& report) {
        log_ << text << std::flush;
        pending_ += text;
        for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            ParseReportLine(line, report);
            if (line.find("@@ ") != std::string::npos) std::printf("%s\n", line.c_str());
            tail_.push_back(line);
            if (tail_.size() > 60) tail_.pop_front();
        }
    }

    void PrintTail() const {
        std::printf("--- console, last lines:\n");
        for (const std::string& line : tail_) std::printf("| %s\n", line.c_str());
    }

  private:
    std::ofstream log_;
    std::string pending_;  // text not yet ended by a newline
    std::deque<std::string> tail_;
};

// Waits for QEMU's exit status; kills its whole group first when it overran its deadline, or when
// it is still there a few seconds after its console closed.
int EndQemu(pid_t qemu, bool timedOut) {
    int status = 0;
    for (int i = 0; !timedOut && i < 100; ++i) {
        if (waitpid(qemu, &status, WNOHANG) == qemu) return status;
        usleep(50'000);
    }
    kill(-qemu, SIGKILL);
    waitpid(qemu, &status, 0);
    return status;
}

// Takes the bytes still in a far end's socket after QEMU went away, and closes it.
void FinishFarEnd(FarEnd& end) {
    if (end.connection >= 0) {
        char chunk[4096];
        ssize_t n;
        while (!end.closed && (n = recv(end.connection, chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
            end.received.append(chunk, static_cast<size_t>(n));
        close(end.connection);
    }
    if (end.listener >= 0) close(end.listener);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s --uart-socket PATH --usb-socket PATH --data FILE "
                     "--adapter-serial TEXT --log FILE --timeout SECONDS -- QEMU...\n",
                     argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    std::ifstream dataFile(options.dataPath, std::ios::binary);
    HostFindings host;
    host.fileBytes.assign(std::istreambuf_iterator<char>(dataFile),
                          std::istreambuf_iterator<char>());
    host.adapterSerial = options.adapterSerial;
    Console consoleLog(options.logPath);

    FarEnd uart;
    FarEnd usb;
    uart.listener = Listen(options.uartSocket);
    usb.listener = Listen(options.usbSocket);
    if (uart.listener < 0 || usb.listener < 0) {
        std::fprintf(stderr, "cannot listen on the far ends' sockets: %s\n", std::strerror(errno));
        return 1;
    }
    int console = -1;
    const auto started = Clock::now();
    const auto deadline = started + std::chrono::seconds(options.timeoutSeconds);
    const pid_t qemu = StartQemu(options.qemu, console);
    if (qemu < 0) {
        std::fprintf(stderr, "cannot start QEMU: %s\n", std::strerror(errno));
        return 1;
    }

    Conversation conversation(host.fileBytes);
    GuestReport report;
    bool timedOut = false;
    while (console >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        std::vector<pollfd> fds{{console, POLLIN, 0}};
        for (const FarEnd* end : {&uart, &usb}) fds.push_back({end->PollFd(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;

        if (fds[0].revents != 0) {
            std::string text;
            const bool open = ReadInto(console, text);
            consoleLog.Add(text, report);
            if (!open) {
                close(console);
                console = -1;
            }
        }
        for (size_t i = 0; i < 2; ++i) {
            FarEnd& end = i == 0 ? uart : usb;
            if (fds[i + 1].revents == 0) continue;
            if (end.connection < 0) {
                end.connection = accept4(end.listener, nullptr, nullptr, SOCK_CLOEXEC);
                continue;
            }
            if (!ReadInto(end.connection, end.received)) {
                end.closed = true;
                continue;
            }
            if (&end == &uart) {
                conversation.OnUart(end);
            } else {
                conversation.OnUsb(end);
            }
        }
    }

    const int status = EndQemu(qemu, timedOut);
    FinishFarEnd(uart);
    FinishFarEnd(usb);
    host.uartReceived = uart.received;
    host.usbReceived = usb.received;

    const auto seconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count() /
        1000.0;
    std::vector<std::string> failures = CheckGuestReport(report, host);
    if (timedOut) {
        failures.insert(failures.begin(), "QEMU did not power off within " +
                                              std::to_string(options.timeoutSeconds) +
                                              " s and was killed");
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        failures.insert(failures.begin(),
                        "QEMU ended abnormally (status " + std::to_string(status) + ")");
    }

    const double wireMs = host.fileBytes.size() * 10 * 1000.0 / 19200;
    std::printf(
        "QEMU ran %.1f s. Data file: %zu bytes, first to last byte at the far end %ld ms "
        "(the wire at 19200 8N1: %.0f ms); the guest's WriteBlock calls took %s ms.\n",
        seconds, host.fileBytes.size(), conversation.FileMilliseconds(), wireMs,
        report.count("COM2.file.total_ms") ? report["COM2.file.total_ms"].c_str() : "?");
    if (failures.empty()) {
        std::printf("kernel serial test: all checks passed\n");
        return 0;
    }
    consoleLog.PrintTail();
    for (const std::string& failure : failures) std::printf("FAIL %s\n", failure.c_str());
    return 1;
}

#include "tools/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

extern char** environ;

const char* CliPath() {
    return QELPUPD_CLI_PATH;
}

CliProcess::CliProcess(std::vector<std::string> args, const Environment& extra, Output output)
    : outStalled_(output == Output::kStalled) {
    std::array<int, 2> outPipe{};
    std::array<int, 2> errPipe{};
    if (pipe2(outPipe.data(), O_CLOEXEC) != 0 || pipe2(errPipe.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2");
    }
    args.insert(args.begin(), CliPath());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // Built before fork: the child only calls what is safe after fork in a threaded process.
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& [name, value] : extra) replaced |= entry.starts_with(name + "=");
        if (!replaced) environment.push_back(entry);
    }
    for (const auto& [name, value] : extra) environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    started_ = Clock::now();
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        const int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, STDIN_FILENO);
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        // The test's own signal mask and ignored signals must not reach the program under test.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGINT, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

void CliProcess::Signal(int signalNumber) {
    if (pid_ > 0) kill(pid_, signalNumber);
}

bool CliProcess::ReadMore(Clock::time_point deadline) {
    const int out = outStalled_ ? -1 : out_;
    std::array<pollfd, 2> fds{pollfd{out, POLLIN, 0}, pollfd{err_, POLLIN, 0}};
    if (out < 0 && err_ < 0) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    // A negative descriptor is skipped by poll.
    if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) return false;
    std::array<char, 4096> chunk{};
    for (auto [fd, text] : {std::pair{&out_, &outText_}, std::pair{&err_, &errText_}}) {
        const pollfd& p = fds[fd == &out_ ? 0 : 1];
        if (p.fd < 0 || p.revents == 0) continue;
        const ssize_t n = read(*fd, chunk.data(), chunk.size());
        if (n > 0) {
            text->append(chunk.data(), static_cast<std::size_t>(n));
        } else {
            close(*fd);
            *fd = -1;
        }
    }
    return true;
}

bool CliProcess::WaitForError(const std::string& text, std::chrono::milliseconds deadline) {
    return WaitUntil([&](const std::string&,
                         const std::string& err) { return err.find(text) != std::string::npos; },
                     deadline);
}

bool CliProcess::WaitUntil(
    const std::function<bool(const std::string& out, const std::string& err)>& seen,
    std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    while (!seen(outText_, errText_)) {
        if (!ReadMore(until)) return false;
    }
    return true;
}

namespace {

// What the process has written so far, as /proc/PID/io counts it; empty once it is gone.
std::optional<std::uint64_t> BytesWritten(pid_t pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "wchar:") return value;
    return std::nullopt;
}

}  // namespace

bool CliProcess::WaitUntilWritingStops(std::uint64_t bytes, std::chrono::milliseconds quiet,
                                       std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    std::optional<std::uint64_t> last;
    auto since = Clock::now();
    for (;;) {
        const std::optional<std::uint64_t> now = BytesWritten(pid_);
        // Gone, or ending: its standard error closed.
        if (!now || err_ < 0) return false;
        if (now != last) {
            last = now;
            since = Clock::now();
        } else if (*now >= bytes && Clock::now() - since >= quiet) {
            return true;
        }
        if (Clock::now() >= until) return false;
        // Keeps the pipes drained meanwhile, so that the child never waits for them.
        ReadMore(std::min(until, Clock::now() + std::chrono::milliseconds(50)));
    }
}

CliProcess::Ended CliProcess::Finish(std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    while (ReadMore(until)) {
    }
    Ended ended;
    const bool open = (out_ >= 0 && !outStalled_) || err_ >= 0;
    if (open) {
        // Output still open at the deadline: the program hangs.
        kill(pid_, SIGKILL);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid_, &status, 0, &usage) == pid_) {
        ended.wall = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
        if (!open) ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        ended.cpuSeconds =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    pid_ = -1;
    ended.out = outText_;
    ended.err = errText_;
    return ended;
}

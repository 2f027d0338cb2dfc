#include "tools/simulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <stdexcept>

SimulatorProcess::SimulatorProcess(std::vector<std::string> args) {
    std::array<int, 2> pipeFds{};
    if (pipe2(pipeFds.data(), O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
    args.insert(args.begin(), QELP_SIMULATOR_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    stdout_ = pipeFds[0];
}

SimulatorProcess::~SimulatorProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(stdout_);
}

bool SimulatorProcess::readMore(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{stdout_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    std::array<char, 4096> chunk{};
    const ssize_t n = read(stdout_, chunk.data(), chunk.size());
    if (n > 0) pending_.append(chunk.data(), static_cast<std::size_t>(n));
    outputEnded_ = n <= 0;
    return n > 0;
}

std::optional<std::string> SimulatorProcess::readLine() {
    const auto deadline = Clock::now() + kLineDeadline;
    std::size_t lf;
    while ((lf = pending_.find('\n')) == std::string::npos) {
        if (!readMore(deadline)) return std::nullopt;
    }
    std::string line = pending_.substr(0, lf);
    pending_.erase(0, lf + 1);
    return line;
}

void SimulatorProcess::signal(int signalNumber) {
    kill(pid_, signalNumber);
}

int SimulatorProcess::waitForExit() {
    const auto deadline = Clock::now() + kExitDeadline;
    while (readMore(deadline)) {
    }
    // Its stdout ends as it exits; without that end by the deadline it is hanging, and is killed.
    int status = 0;
    if (!outputEnded_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return -1;
    }
    if (waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

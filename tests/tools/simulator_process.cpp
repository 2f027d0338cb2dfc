#include "tools/simulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace {

// A flat JSON object's members, values as written (strings unescaped); empty if it is not one.
std::optional<std::map<std::string, std::optional<std::string>>> flatObject(std::string_view text) {
    std::map<std::string, std::optional<std::string>> members;
    std::size_t at = 0;
    const auto readString = [&]() -> std::optional<std::string> {
        if (at >= text.size() || text[at++] != '"') return std::nullopt;
        std::string value;
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (c == '\\' && at < text.size()) {
                c = text[at++];
                if (c == 'u' && at + 4 <= text.size()) {
                    // Only what the simulator writes: control characters and U+FFFD.
                    const long code =
                        std::strtol(std::string(text.substr(at, 4)).c_str(), nullptr, 16);
                    at += 4;
                    value += code < 0x80 ? std::string(1, static_cast<char>(code)) : "\uFFFD";
                    continue;
                }
                c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
            }
            value += c;
        }
        if (at++ >= text.size()) return std::nullopt;
        return value;
    };
    if (text.empty() || text[at++] != '{') return std::nullopt;
    while (at < text.size() && text[at] != '}') {
        if (!members.empty() && text[at++] != ',') return std::nullopt;
        const auto key = readString();
        if (!key || at >= text.size() || text[at++] != ':') return std::nullopt;
        if (at < text.size() && text[at] == '"') {
            members[*key] = readString();
            if (!members[*key]) return std::nullopt;
            continue;
        }
        const std::size_t end = text.find_first_of(",}", at);
        if (end == std::string_view::npos) return std::nullopt;
        const std::string raw(text.substr(at, end - at));
        members[*key] = raw == "null" ? std::nullopt : std::optional(raw);
        at = end;
    }
    if (at + 1 != text.size()) return std::nullopt;
    return members;
}

}  // namespace

std::optional<SimulatedDeviceResult> parseSimulatedDeviceResult(std::string_view line) {
    const auto members = flatObject(line);
    if (!members || !members->contains("device")) return std::nullopt;
    const auto text = [&](const char* key) {
        const auto found = members->find(key);
        return found == members->end() ? std::nullopt : found->second;
    };
    const auto number = [&](const char* key) -> std::optional<long> {
        const auto value = text(key);
        return value ? std::optional(std::stol(*value)) : std::nullopt;
    };
    const auto flag = [&](const char* key) -> std::optional<bool> {
        const auto value = text(key);
        return value ? std::optional(*value == "true") : std::nullopt;
    };
    SimulatedDeviceResult r;
    r.port = text("port").value_or("");
    r.pty = text("pty").value_or("");
    r.device = static_cast<int>(number("device").value_or(0));
    r.scenario = text("scenario").value_or("");
    r.ok = flag("ok").value_or(false);
    r.result = text("result").value_or("");
    r.transfers = number("transfers").value_or(0);
    r.bytes = number("bytes").value_or(0);
    r.sha256 = text("sha256");
    r.whole = flag("whole");
    r.endWord = text("end_word");
    r.requestedMs = number("requested_ms");
    r.endedMs = number("ended_ms");
    r.tookMs = number("took_ms");
    return r;
}

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
    if (auto result = parseSimulatedDeviceResult(line)) resultsRead_.push_back(std::move(*result));
    return line;
}

std::optional<SimulatedDeviceResult> SimulatorProcess::readResult() {
    const std::size_t before = resultsRead_.size();
    while (readLine()) {
        if (resultsRead_.size() > before) return resultsRead_.back();
    }
    return std::nullopt;
}

std::vector<SimulatedDeviceResult> SimulatorProcess::results() const {
    std::vector<SimulatedDeviceResult> all = resultsRead_;
    std::size_t start = 0;
    for (std::size_t lf; (lf = pending_.find('\n', start)) != std::string::npos; start = lf + 1) {
        if (auto result =
                parseSimulatedDeviceResult(std::string_view(pending_).substr(start, lf - start))) {
            all.push_back(std::move(*result));
        }
    }
    return all;
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

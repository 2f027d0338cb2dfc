#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "cli/stop_signals.h"
#include "update/standard_streams.h"

namespace {

// Handler state: lock-free atomics and plain data that is fixed before the handlers are installed.
std::atomic<int> g_cause{static_cast<int>(StopCause::kNone)};
std::atomic<int> g_signal{0};  // the signal of the first stop
std::atomic<int> g_interrupts{0};
int g_wakeRead = -1;
int g_wakeWrite = -1;
int g_finalFd = STDERR_FILENO;  // standard error as it was when the handlers were installed
timer_t g_timer{};
bool g_timerCreated = false;
std::string g_interruptLine;

static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need lock-free atomics");

// Async-signal-safe: open(2), dup2(2), poll(2), write(2) (WriteAll) and _exit(2) only.
[[noreturn]] void EndAtOnce(const std::string& line, int status) {
    // Other threads may be drawing the progress or a device line right now: what they write from
    // here on goes nowhere, so that the final line is the last the operator sees.
    if (g_finalFd != STDERR_FILENO) {
        const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere >= 0) {
            dup2(nowhere, STDOUT_FILENO);
            dup2(nowhere, STDERR_FILENO);
        }
    }
    // A standard error that takes nothing would hold the end: the line goes only where there is
    // room.
    pollfd room{g_finalFd, POLLOUT, 0};
    if (poll(&room, 1, 200) == 1 && (room.revents & POLLOUT) != 0) WriteAll(g_finalFd, line);
    _exit(status);
}

void Request(StopCause cause, int signalNumber) {
    int none = static_cast<int>(StopCause::kNone);
    if (g_cause.compare_exchange_strong(none, static_cast<int>(cause)))
        g_signal.store(signalNumber);
    const char byte = 1;
    // The pipe holds far more than the few bytes ever written; a full pipe is readable anyway.
    [[maybe_unused]] const ssize_t written = write(g_wakeWrite, &byte, 1);
}

void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    if (signalNumber == SIGALRM) {
        Request(StopCause::kTimeout, signalNumber);
    } else {
        if (g_interrupts.fetch_add(1) >= 1) EndAtOnce(g_interruptLine, ExitStatusAtOnce());
        Request(StopCause::kInterrupt, signalNumber);
    }
    errno = savedErrno;
}

}  // namespace

bool InstallStopSignals(std::string interruptLine) {
    g_interruptLine = std::move(interruptLine);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    g_wakeRead = fds[0];
    g_wakeWrite = fds[1];
    if (const int fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3); fd >= 0) g_finalFd = fd;

    struct sigaction action {};
    action.sa_handler = OnSignal;
    // The run loop wakes through the pipe, not through EINTR; other calls carry on undisturbed.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int blocked : {SIGINT, SIGTERM, SIGALRM}) sigaddset(&action.sa_mask, blocked);
    for (int signalNumber : {SIGINT, SIGTERM, SIGALRM}) {
        if (sigaction(signalNumber, &action, nullptr) != 0) return false;
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    return sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

bool ArmTimeout(std::chrono::milliseconds after) {
    if (!g_timerCreated) {
        sigevent event{};
        event.sigev_notify = SIGEV_SIGNAL;
        event.sigev_signo = SIGALRM;
        if (timer_create(CLOCK_MONOTONIC, &event, &g_timer) != 0) return false;
        g_timerCreated = true;
    }
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(after.count() / 1000);
    when.it_value.tv_nsec = static_cast<long>(after.count() % 1000 * 1'000'000);
    return timer_settime(g_timer, 0, &when, nullptr) == 0;
}

StopCause StopRequested() {
    return static_cast<StopCause>(g_cause.load());
}

std::optional<std::chrono::steady_clock::time_point> StopGiveUpBy() {
    return std::nullopt;
}

const char* StopSignalName() {
    switch (g_signal.load()) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGALRM:
            return "SIGALRM";
    }
    return "";
}

// Linux ends a session with SIGHUP or SIGTERM, which the handlers answer.
void NoteTransfer(bool) {}
void NoteRunFinished() {}

std::intptr_t StopWaitObject() {
    return g_wakeRead;
}

// Termination requests on POSIX: a self-pipe written by the signal handler, read by a socket
// notifier on the UI thread.
#include "framework/termination.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <memory>

namespace fw {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

int g_pipeWrite = -1;  // fixed before the handlers are installed

struct Watch {
    int pipeRead = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void(const char*)> handler;
};

Watch& TheWatch() {
    static Watch watch;
    return watch;
}

// Async-signal-safe: write(2) only.
void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<char>(signalNumber);
    // A full pipe holds requests enough already.
    [[maybe_unused]] const ssize_t written = write(g_pipeWrite, &byte, 1);
    errno = savedErrno;
}

const char* SignalName(int signalNumber) {
    switch (signalNumber) {
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        case SIGINT:
            return "SIGINT";
    }
    return "SIGTERM";
}

int SignalNumber(const char* name) {
    for (int signalNumber : kSignals)
        if (std::strcmp(SignalName(signalNumber), name) == 0) return signalNumber;
    return SIGTERM;
}

void SetAction(void (*action)(int)) {
    struct sigaction request {};
    request.sa_handler = action;
    // Calls in progress go on: the event loop learns of the request through the pipe.
    request.sa_flags = SA_RESTART;
    sigemptyset(&request.sa_mask);
    for (int signalNumber : kSignals) sigaction(signalNumber, &request, nullptr);
}

bool OpenPipe(Watch& watch) {
    if (watch.pipeRead >= 0) return true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    watch.pipeRead = fds[0];
    g_pipeWrite = fds[1];
    watch.notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
    QObject::connect(watch.notifier.get(), &QSocketNotifier::activated, [&watch] {
        char byte = 0;
        while (read(watch.pipeRead, &byte, 1) == 1)
            if (watch.handler) watch.handler(SignalName(byte));
    });
    return true;
}

}  // namespace

void OnTerminationRequest(std::function<void(const char* signal)> handler) {
    Watch& watch = TheWatch();
    if (!handler) {
        SetAction(SIG_DFL);
        watch.handler = nullptr;
        return;
    }
    // Without the pipe the signals keep their default action: the program still ends.
    if (!OpenPipe(watch)) return;
    watch.handler = std::move(handler);
    SetAction(OnSignal);
}

void OnSessionEnd(std::function<void()>) {
    // Linux ends a session with SIGHUP and SIGTERM, which the termination handler answers.
}

// No session manager is asked here: the signals that end a session are answered in order.
SessionEndHold::SessionEndHold(std::string) {}
SessionEndHold::~SessionEndHold() = default;

void EndByTerminationRequest(const char* signal) {
    const int signalNumber = SignalNumber(signal);
    ::signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    _exit(128 + signalNumber);
}

}  // namespace fw

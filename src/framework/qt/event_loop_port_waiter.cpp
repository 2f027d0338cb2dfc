#include "framework/event_loop_port_waiter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <optional>
#include <utility>

namespace fw {

struct EventLoopPortWaiter::Pending {
    std::optional<PortWaitEnd> end;
    QSocketNotifier* notifier = nullptr;

    void Finish(PortWaitEnd why) {
        // Level-triggered: left enabled, a writable descriptor would fire in every round of a
        // modal loop that runs inside this wait.
        if (notifier != nullptr) notifier->setEnabled(false);
        if (!end) end = why;
    }
};

PortWaitEnd EventLoopPortWaiter::Wait(int descriptor, std::chrono::milliseconds timeout) {
    Pending pending;
    Pending* const outer = std::exchange(current_, &pending);

    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout,
                     [&pending] { pending.Finish(PortWaitEnd::kTimedOut); });
    std::optional<QSocketNotifier> notifier;
    if (descriptor >= 0) {
        notifier.emplace(static_cast<qintptr>(descriptor), QSocketNotifier::Write);
        pending.notifier = &*notifier;
        QObject::connect(&*notifier, &QSocketNotifier::activated,
                         [&pending] { pending.Finish(PortWaitEnd::kReady); });
    }
    timer.start(timeout);

    // processEvents, not a nested QEventLoop: an event loop started after the application was asked
    // to quit returns at once, which would turn this wait into a spin until the deadline.
    while (!pending.end) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    current_ = outer;
    return *pending.end;
}

void EventLoopPortWaiter::Interrupt() {
    if (current_ != nullptr) current_->Finish(PortWaitEnd::kInterrupted);
}

}  // namespace fw

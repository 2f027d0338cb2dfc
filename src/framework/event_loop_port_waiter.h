#pragma once
// EventLoopPortWaiter: a PortWaiter (serial/port_waiter.h) that waits in the UI thread's event
// loop, so that painting, input, accessibility requests and posted messages are served while a
// block goes out. It sleeps until the port's descriptor turns writable (a socket notifier), the
// time-out passes (a timer) or anything else arrives for the thread; it never spins.
//
// Handlers run inside the wait, as they do in any message pump: a modal box opened there keeps the
// wait on the stack until it closes (the port then looks at the line again before it judges its
// deadline), and a port closed there ends the wait through Interrupt(). Waits may nest.
//
// UI thread only; needs a QCoreApplication.

#include "serial/port_waiter.h"

namespace fw {

class EventLoopPortWaiter final : public PortWaiter {
  public:
    EventLoopPortWaiter() = default;
    EventLoopPortWaiter(const EventLoopPortWaiter&) = delete;
    EventLoopPortWaiter& operator=(const EventLoopPortWaiter&) = delete;

    PortWaitEnd Wait(PortWaitObject descriptor, std::chrono::milliseconds timeout) override;
    void Interrupt() override;

  private:
    struct Pending;
    Pending* current_ = nullptr;  // the innermost wait in progress
};

}  // namespace fw

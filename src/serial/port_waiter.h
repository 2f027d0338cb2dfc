// PortWaiter: how CCommPort::WriteBlock waits for the port. A block write waits twice: for room in
// the port (the descriptor turns writable) and for the output queue to drain (no descriptor event
// exists for that, so a timed pause at the line's pace). The caller picks the strategy: code
// without windows keeps the default, which sleeps in poll(); a program whose thread must keep
// serving events while it writes hands the port one that waits in its event loop
// (framework/event_loop_port_waiter.h).
//
// Thread contract: Wait and Interrupt run on the thread that owns the port. Interrupt is called
// only from inside a Wait, by something that the wait served (a handler closing the port).
#pragma once

#include <chrono>

enum class PortWaitEnd {
    kReady,        // the descriptor can take bytes, or reports a hang-up or error: look at the port
    kTimedOut,     // the time-out passed
    kInterrupted,  // Interrupt(): the port is closing
    kFailed,       // the wait itself failed
};

class PortWaiter {
  public:
    virtual ~PortWaiter() = default;

    // Returns once `descriptor` is writable (or hung up), once `timeout` has passed, or once
    // Interrupt() is called. With `descriptor` -1 only the time-out and Interrupt() end it.
    virtual PortWaitEnd Wait(int descriptor, std::chrono::milliseconds timeout) = 0;
    // Ends the wait in progress with kInterrupted. The descriptor may be closed right after.
    virtual void Interrupt() = 0;
};

// The default: sleeps in poll(). Nothing else runs on the thread meanwhile, so nothing can
// interrupt it; a hang-up of the line ends it at once.
class PollingPortWaiter final : public PortWaiter {
  public:
    PortWaitEnd Wait(int descriptor, std::chrono::milliseconds timeout) override;
    void Interrupt() override {}
};

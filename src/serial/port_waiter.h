// PortWaiter: how CCommPort::WriteBlock waits for the port. A block write waits twice: for room in
// the port (its wait object, port_wait_object.h, is signalled) and for the output queue to drain
// (no event exists for that, so a timed pause at the line's pace). The caller picks the strategy:
// code without windows keeps the default, which sleeps in poll() or WaitForSingleObject(); a
// program whose thread must keep serving events while it writes hands the port one that waits in
// its event loop (framework/event_loop_port_waiter.h with Qt, message_pump_port_waiter.h in a
// Win32 message loop).
//
// Thread contract: Wait and Interrupt run on the thread that owns the port. Interrupt is called
// only from inside a Wait, by something that the wait served (a handler closing the port).
#pragma once

#include <chrono>

#include "serial/port_wait_object.h"

enum class PortWaitEnd {
    kReady,        // the object is signalled (room, a hang-up or an error): look at the port
    kTimedOut,     // the time-out passed
    kInterrupted,  // Interrupt(): the port is closing
    kFailed,       // the wait itself failed
};

class PortWaiter {
  public:
    virtual ~PortWaiter() = default;

    // Returns once `object` is signalled (a descriptor writable or hung up), once `timeout` has
    // passed, or once Interrupt() is called. With kNoWaitObject only the time-out and Interrupt()
    // end it.
    virtual PortWaitEnd Wait(PortWaitObject object, std::chrono::milliseconds timeout) = 0;
    // Ends the wait in progress with kInterrupted. The object may be closed right after.
    virtual void Interrupt() = 0;
};

// The default: sleeps in poll() (posix_port_waiter.cpp) or WaitForSingleObject()
// (win32_port_waiter.cpp). Nothing else runs on the thread meanwhile, so nothing can interrupt it;
// a hang-up of the line ends it at once.
class PollingPortWaiter final : public PortWaiter {
  public:
    PortWaitEnd Wait(PortWaitObject object, std::chrono::milliseconds timeout) override;
    void Interrupt() override {}
};

// The port's waits on Win32 serve the thread's messages, the dialogs' keyboard handling included,
// as every loop of the framework does.
#include "framework/event_loop_port_waiter.h"

#include "serial/message_pump_port_waiter.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {

struct EventLoopPortWaiter::Pending {
    MessagePumpPortWaiter waiter{[](MSG& message) { return win32::TakenByDialog(message); }};
};

PortWaitEnd EventLoopPortWaiter::Wait(PortWaitObject descriptor,
                                      std::chrono::milliseconds timeout) {
    Pending pending;
    Pending* const outer = current_;
    current_ = &pending;
    const PortWaitEnd end = pending.waiter.Wait(descriptor, timeout);
    current_ = outer;
    return end;
}

void EventLoopPortWaiter::Interrupt() {
    if (current_ != nullptr) current_->waiter.Interrupt();
}

}  // namespace fw

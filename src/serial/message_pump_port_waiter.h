// MessagePumpPortWaiter: a PortWaiter (port_waiter.h) for a Win32 UI thread. While a block goes
// out it waits in MsgWaitForMultipleObjectsEx on the port's wait object and the thread's message
// queue, and dispatches every message that arrives (PeekMessage, TranslateMessage,
// DispatchMessage), so that painting, input, timers and posted messages are served; it never
// spins. A hook sees each message first and may take it, which is where the caller puts
// IsDialogMessage for its modeless dialogs.
//
// Handlers run inside the wait, as in any message pump: a modal box opened there keeps the wait
// on the stack until it closes (the port then looks at the line again before it judges its
// deadline), and a port closed there ends the wait through Interrupt(). Waits may nest. A WM_QUIT
// taken from the queue ends nothing: it is posted again as the wait returns, for the thread's
// own message loop, and the rest of the wait serves no more messages.
//
// Windows only. One object per thread, used on that thread only.
#pragma once

#include <functional>

#include "serial/port_waiter.h"

struct tagMSG;

class MessagePumpPortWaiter final : public PortWaiter {
  public:
    // True when the hook handled the message itself (IsDialogMessage returned nonzero); it is then
    // neither translated nor dispatched.
    using MessageHook = std::function<bool(tagMSG& message)>;

    explicit MessagePumpPortWaiter(MessageHook hook = {});
    MessagePumpPortWaiter(const MessagePumpPortWaiter&) = delete;
    MessagePumpPortWaiter& operator=(const MessagePumpPortWaiter&) = delete;

    PortWaitEnd Wait(PortWaitObject object, std::chrono::milliseconds timeout) override;
    void Interrupt() override;

  private:
    struct Pending;
    MessageHook hook_;
    Pending* current_ = nullptr;  // the innermost wait in progress
};

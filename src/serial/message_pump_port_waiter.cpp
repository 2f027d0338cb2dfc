#include "serial/message_pump_port_waiter.h"

#include <optional>
#include <utility>

#include "serial/win32_api.h"

struct MessagePumpPortWaiter::Pending {
    std::optional<PortWaitEnd> end;
};

MessagePumpPortWaiter::MessagePumpPortWaiter(MessageHook hook) : hook_(std::move(hook)) {}

PortWaitEnd MessagePumpPortWaiter::Wait(PortWaitObject object, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    Pending pending;
    Pending* const outer = std::exchange(current_, &pending);
    const DWORD objects = object == kNoWaitObject ? 0 : 1;
    std::optional<int> quit;  // the exit code of a WM_QUIT taken from the queue

    while (!pending.end) {
        MSG message;
        while (!quit && !pending.end && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = static_cast<int>(message.wParam);
                break;
            }
            if (hook_ && hook_(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (pending.end) break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            pending.end = PortWaitEnd::kTimedOut;
            break;
        }
        const auto milliseconds = static_cast<DWORD>(left.count());
        DWORD woke;
        if (!quit) {
            // MWMO_INPUTAVAILABLE: messages that were already seen but left in the queue (by a
            // handler's own PeekMessage) end the wait too.
            woke = MsgWaitForMultipleObjectsEx(objects, &object, milliseconds, QS_ALLINPUT,
                                               MWMO_INPUTAVAILABLE);
        } else if (objects == 1) {
            woke = WaitForSingleObject(object, milliseconds);
        } else {
            Sleep(milliseconds);
            woke = WAIT_TIMEOUT;
        }
        if (objects == 1 && woke == WAIT_OBJECT_0) {
            pending.end = PortWaitEnd::kReady;
        } else if (woke == WAIT_FAILED) {
            pending.end = PortWaitEnd::kFailed;
        }
        // Otherwise messages came, or the time passed: both are looked at above.
    }

    current_ = outer;
    if (quit) PostQuitMessage(*quit);
    return *pending.end;
}

void MessagePumpPortWaiter::Interrupt() {
    if (current_ != nullptr) current_->end = PortWaitEnd::kInterrupted;
}

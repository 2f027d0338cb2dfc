#include "cli/stopping_port_waiter.h"

#include <algorithm>

PortWaitEnd StoppingPortWaiter::Wait(PortWaitObject object, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto now = Clock::now();
        if (!giveUpAt_ && StopRequested() == StopCause::kTimeout) giveUpAt_ = now + kBlockGrace;
        if (giveUpAt_ && now >= *giveUpAt_) return PortWaitEnd::kInterrupted;
        if (now >= deadline) return PortWaitEnd::kTimedOut;
        const auto until = giveUpAt_ ? std::min(deadline, *giveUpAt_) : deadline;
        // What wakes a stop stays signalled after it: it is watched only until then.
        switch (SleepOnPortOrStop(object, std::chrono::ceil<std::chrono::milliseconds>(until - now),
                                  StopRequested() == StopCause::kNone)) {
            case Woke::kPort:
                return PortWaitEnd::kReady;
            case Woke::kFailed:
                return PortWaitEnd::kFailed;
            case Woke::kOther:
                break;
        }
    }
}

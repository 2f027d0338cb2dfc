#include "cli/stopping_port_waiter.h"

#include <algorithm>

PortWaitEnd StoppingPortWaiter::Wait(PortWaitObject object, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto now = Clock::now();
        // The run's own deadline counts even after Ctrl+C, which only the process's stop says.
        const bool runTimedOut = stop_.Deadline() && now >= *stop_.Deadline();
        if (!giveUpAt_ && (runTimedOut || stop_.Requested() == StopCause::kTimeout))
            giveUpAt_ = now + kBlockGrace;
        // A stop that the system ends the process soon after (the console closed) cannot wait.
        if (const auto hurry = StopGiveUpBy(); hurry && (!giveUpAt_ || *hurry < *giveUpAt_))
            giveUpAt_ = *hurry;
        if (giveUpAt_ && now >= *giveUpAt_) return PortWaitEnd::kInterrupted;
        if (now >= deadline) return PortWaitEnd::kTimedOut;
        auto until = giveUpAt_ ? std::min(deadline, *giveUpAt_) : deadline;
        // The run's own deadline passes without a wake-up: sleep no longer than until then.
        if (!giveUpAt_ && stop_.Deadline()) until = std::min(until, *stop_.Deadline());
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

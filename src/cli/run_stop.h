#pragma once
// What stops one run of qelpupd-cli before its device ends it: the process's stop (Ctrl+C,
// SIGTERM, or the single run's --timeout: stop_signals.h) and, for a station's run, the run's own
// deadline (--timeout counted from the device's data request). The run's waits (run_mailbox.h,
// stopping_port_waiter.h) sleep on the process's stop object and at most until the deadline; the
// transfer's Cancel asks Requested() before each block.
//
// Thread contract: one object per run, used on the thread that owns the run's port.

#include <chrono>
#include <optional>

#include "cli/stop_signals.h"

class RunStop {
  public:
    using Clock = std::chrono::steady_clock;

    // Only the process's stop.
    RunStop() = default;
    explicit RunStop(Clock::time_point deadline) : deadline_(deadline) {}

    // The process's stop when there is one; else kTimeout once the deadline has passed.
    StopCause Requested() const {
        if (const StopCause process = StopRequested(); process != StopCause::kNone) return process;
        return deadline_ && Clock::now() >= *deadline_ ? StopCause::kTimeout : StopCause::kNone;
    }
    const std::optional<Clock::time_point>& Deadline() const { return deadline_; }

  private:
    std::optional<Clock::time_point> deadline_;
};

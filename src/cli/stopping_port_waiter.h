#pragma once
// StoppingPortWaiter: how qelpupd-cli's port waits while a block goes out (serial/port_waiter.h).
// It sleeps as the default waiter does, and also wakes when the run's stop comes (run_stop.h):
// the process's stop, or the run's deadline passing. After Ctrl+C or SIGTERM the block on the wire
// still gets the port's whole write time-out, as before, unless the stop has a short allowance
// (StopGiveUpBy: the Windows console closed). After the time-out it gets kBlockGrace: a
// block that the line has not taken by then is given up (the wait ends as interrupted, so the
// write fails), and the run closes the port and writes its record at once.
//
// One waiter per run, on the thread that owns the port.

#include <chrono>
#include <optional>

#include "cli/run_stop.h"
#include "serial/port_waiter.h"

inline constexpr std::chrono::milliseconds kBlockGrace{500};

class StoppingPortWaiter final : public PortWaiter {
  public:
    // `stop` must outlive the waiter; it may be replaced (assigned) between waits.
    explicit StoppingPortWaiter(const RunStop& stop) : stop_(stop) {}
    PortWaitEnd Wait(PortWaitObject descriptor, std::chrono::milliseconds timeout) override;
    // Nothing the wait serves can close the port.
    void Interrupt() override {}

  private:
    using Clock = std::chrono::steady_clock;
    enum class Woke { kPort, kOther, kFailed };
    // One sleep of at most `timeout` on the port's object and, when `watchStop`, on
    // StopWaitObject(). The build picks it: posix_stopping_port_waiter.cpp (poll) or
    // win32_stopping_port_waiter.cpp (WaitForMultipleObjects).
    static Woke SleepOnPortOrStop(PortWaitObject object, std::chrono::milliseconds timeout,
                                  bool watchStop);
    const RunStop& stop_;
    std::optional<Clock::time_point> giveUpAt_;  // set once the time-out's stop is seen
};

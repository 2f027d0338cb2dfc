#pragma once
// SIGINT, SIGTERM and SIGHUP, turned into a descriptor that becomes readable when one arrives,
// so that every wait of the simulator (all of them are poll() calls) ends at once and the
// program unwinds normally, removing its symlinks. Nobody reads the descriptor: it stays readable,
// so the waits of every port's thread end. SIGPIPE is ignored: a closed stdout must not kill the
// program before it cleans up. Construct once, in main, before any other thread starts (they
// inherit the blocked signals) and before anything waits.

#include <chrono>

namespace qelp::sim {

class StopSignal {
  public:
    StopSignal();  // throws std::system_error
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

// Waits until the deadline; true when a stop signal came first. Any thread.
bool stoppedBefore(int stopFd, std::chrono::steady_clock::time_point deadline);

}  // namespace qelp::sim

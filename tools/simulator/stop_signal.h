#pragma once
// SIGINT, SIGTERM and SIGHUP, turned into a descriptor that becomes readable when one arrives,
// so that every wait of the simulator (all of them are poll() calls) ends at once and the
// program unwinds normally, removing its symlink. SIGPIPE is ignored: a closed stdout must not
// kill the program before it cleans up. Construct once, in main, before anything else waits.

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

}  // namespace qelp::sim

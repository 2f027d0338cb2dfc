#pragma once
// The hand-off of a station's events (station_state.h) from the ports' threads to the main thread:
// a queue in their order, with a wake-up that the main thread's wait sleeps on. So that a main
// thread held up (a standard output that stalls) never makes the queue grow with every block,
// a port's progress that the main thread has not taken yet is replaced by the newer figures; the
// other events stay, in order.
//
// Thread contract: Post from any thread; Take and WakeObject on the main thread.

#include <cstddef>
#include <mutex>
#include <vector>

#include "cli/station_state.h"
#include "cli/wake_signal.h"

class StationEvents {
  public:
    bool Ready() const { return signal_.Ready(); }
    void Post(StationEvent event);
    // Everything posted since the last call, in order.
    std::vector<StationEvent> Take();
    WaitObject WakeObject() const { return signal_.Object(); }

  private:
    WakeSignal signal_;
    std::mutex mutex_;
    std::vector<StationEvent> queued_;
};

#pragma once
// One port of a station (station.h): a small state machine on a thread of its own, so that no port
// can hold up another. It opens the port once and keeps it open; on it, run after run, it attaches
// one UpdateRun (update/update_run.h), which begins at the device's first data request, uploads
// the data file (read afresh each time) at every request, and ends with the device's word, a
// hang-up, the run's --timeout or a stop; a run that began is recorded, and the next is attached.
// After a hang-up it closes the port and opens it again, which succeeds once the port is back;
// after a run's time-out it closes and reopens it at once, as a lone run would close it.
// With --runs N it closes the port after N runs.
//
// A port that cannot be opened is reported (absent, or unavailable and why) and tried again when
// the main thread says that the ports may have changed, and, when it is there but refuses (another
// program holds it), also every kRetryUnavailable. Everything it does goes to the main thread as
// events (station_state.h); it writes nothing itself.
//
// The thread sleeps on its mailbox (run_mailbox.h: the console reader's news and the main
// thread's), the process's stop, and the run's deadline during a run, or the next try while the
// port refuses. After the process's stop, a run that began is recorded, one that did not is not,
// and the port is closed. A run's reader that does not stop in time takes the port with it (the
// run closes it): the port is opened anew for the next run.
//
// Thread contract: the public members on the main thread; PortsChanged and Finish may come at
// any time after Start. The port's thread owns the port, the runs and the settings' copy.

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cli/run_mailbox.h"
#include "cli/station_events.h"
#include "framework/worker_thread.h"
#include "serial/comm_port.h"
#include "serial/port_map.h"
#include "update/update_run.h"

struct StationSettings {
    std::string dataPath;                              // absolute, UTF-8
    std::optional<std::chrono::milliseconds> timeout;  // per run, from its data request
    std::optional<int> runs;                           // per port; empty: no end
    RunSettings run;  // the program, its version, the record's place; the data file's lock
};

inline constexpr std::chrono::seconds kRetryUnavailable{2};

class StationPort {
  public:
    StationPort(std::size_t index, PortMapping mapping, StationSettings settings,
                StationEvents& events);
    // Joins the thread: Finish first, or the process's stop.
    ~StationPort();
    StationPort(const StationPort&) = delete;
    StationPort& operator=(const StationPort&) = delete;

    // False when the system gave no thread or nothing to wait on; nothing runs then.
    bool Start();
    // The ports may have changed; `mapping` is what the port stands for now. A port that is not
    // open is tried again.
    void PortsChanged(const PortMapping& mapping);
    // The port is to end: a run under way ends as the operator's, the port closes.
    void Finish();
    void Join() { thread_.Join(); }

  private:
    enum class Next { kGoOn, kEnd };

    void Serve();
    // Opens the port; false, with the problem reported, when it cannot.
    bool OpenPort();
    // Waits while the port is not open: for the main thread's news, the retry or the stop.
    Next WaitForPort();
    // One run on the open port, from its attaching to its record.
    Next ServeRun();
    void ClosePort();
    void Report(StationEvent event);
    StationEvent Event(StationEvent::Kind kind) const;

    const std::size_t index_;
    const StationSettings settings_;
    StationEvents& events_;
    RunMailbox mailbox_;

    std::mutex mappingMutex_;
    PortMapping mapping_;  // guarded: the main thread sets it, the port's thread reads it

    // The port's thread only.
    std::shared_ptr<CCommPort> port_;
    int runs_ = 0;  // runs that began
    std::optional<std::chrono::steady_clock::time_point> retryAt_;
    std::optional<StationEvent> lastProblem_;  // reported already: not again while it stays
    // A run timed out and its device has not said its word since: that word is not a new run.
    bool lateWordDue_ = false;
    fw::WorkerThread thread_;
};

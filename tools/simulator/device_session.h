#pragma once
// Plays one device of a port's row over the pseudo-terminal, once the tool holds the port open in
// raw mode (PortLine waits for that):
//   1. boot lines (and --extra-lines more), then (once the --hold-data-request file exists, when
//      one is given) "bootmode=DATAWAIT" and one transfer (two in the twice scenario), cut short
//      by a hang-up, a pulled adapter or a reading stop where the scenario says so,
//   2. the scenario's end line, then it stays and counts bytes nobody asked for: the row's last
//      device until the tool closes the port or --linger-ms passes, any other for --between-ms
//      (or until the tool closes the port),
//   3. run() returns the device's result and how it left the port; PortLine prints the result.
// Used by its port's thread only; every wait ends at once on a stop signal (see StopSignal).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "simulator/device_result.h"
#include "simulator/options.h"
#include "simulator/pty_device.h"
#include "simulator/scenario.h"
#include "simulator/transcript.h"
#include "simulator/verdict.h"

namespace qelp::sim {

struct DevicePlace {
    std::size_t index = 0;  // from 0
    std::size_t count = 1;  // devices in the row
    bool last() const { return index + 1 == count; }
};

class DeviceSession {
  public:
    using Clock = std::chrono::steady_clock;

    enum class Leaves {
        kPortOpen,    // the next device may boot at once
        kToolClosed,  // the next device waits for the tool to open the port again
        kHungUp,      // the device closed its end (hangup, vanish)
        kStopped,     // a stop signal
    };
    struct Outcome {
        DeviceResult result;  // all but `port`
        Leaves leaves = Leaves::kStopped;
    };

    // `data`: the data file's bytes, or null; `epoch`: the simulator's start, for the times.
    DeviceSession(const Options& options, const std::vector<std::uint8_t>* data, Scenario scenario,
                  DevicePlace place, PtyDevice& pty, Transcript& transcript,
                  Clock::time_point epoch);

    Outcome run();

  private:
    enum class Flow { kGo, kPortClosed, kHungUpItself, kStopped };

    Flow pause(std::chrono::milliseconds length);
    Flow say(std::string_view line);
    Flow sayExtraLines();
    // Goes on after a write or a pause that ended as `result`; a hang-up is noted.
    Flow flowAfter(WaitResult result);
    Flow holdDataRequest();
    Flow playTransfers(const Script& script, std::vector<TransferOutcome>& transfers);
    TransferOutcome receive(DataCheck check, std::optional<std::size_t> cut);
    Flow cutShort(Interruption interruption, std::size_t at);
    Flow stay(std::size_t& strayBytes);
    DataCheck expectationFor(const std::vector<TransferOutcome>& earlier) const;
    std::chrono::milliseconds sinceEpoch() const;
    DeviceResult resultOf(const std::vector<TransferOutcome>& transfers, const Script& script,
                          std::size_t strayBytes, Flow flow) const;

    const Options& options_;
    const std::vector<std::uint8_t>* data_;
    Scenario scenario_;
    DevicePlace place_;
    PtyDevice& pty_;
    Transcript& transcript_;
    Clock::time_point epoch_;
    std::optional<std::chrono::milliseconds> requested_;
    std::optional<std::chrono::milliseconds> ended_;
};

}  // namespace qelp::sim

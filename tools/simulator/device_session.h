#pragma once
// Plays one scenario over the pseudo-terminal, start to end:
//   1. wait until the tool has opened the port and set raw mode (writing nothing before),
//   2. boot lines (and --extra-lines more), then (once the --hold-data-request file exists, when
//      one is given) "bootmode=DATAWAIT" and one transfer (two in the twice scenario),
//      cut short by a hang-up or a reading stop where the scenario says so,
//   3. the scenario's end line, then stay until the tool closes the port or --linger-ms passes,
//   4. the "result:" line; run() returns the exit code.
// Single-threaded; every wait ends at once on a stop signal (see StopSignal).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "simulator/options.h"
#include "simulator/pty_device.h"
#include "simulator/scenario.h"
#include "simulator/transcript.h"
#include "simulator/verdict.h"

namespace qelp::sim {

class DeviceSession {
  public:
    DeviceSession(const Options& options, std::optional<std::vector<std::uint8_t>> data,
                  PtyDevice& pty, Transcript& transcript);

    int run();

  private:
    enum class Flow { kGo, kPortClosed, kStopped };

    Flow pause(std::chrono::milliseconds length);
    Flow say(std::string_view line);
    Flow sayExtraLines();
    Flow holdDataRequest();
    Flow playTransfers(const Script& script, std::vector<TransferOutcome>& transfers);
    TransferOutcome receive(DataCheck check, std::optional<std::size_t> cut);
    Flow cutShort(Interruption interruption, std::size_t at);
    Flow linger(std::size_t& strayBytes);
    DataCheck expectationFor(const std::vector<TransferOutcome>& earlier) const;
    int conclude(const Verdict& verdict);

    const Options& options_;
    std::optional<std::vector<std::uint8_t>> data_;
    PtyDevice& pty_;
    Transcript& transcript_;
};

}  // namespace qelp::sim

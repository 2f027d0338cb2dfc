#pragma once
// One port of the simulated production line: a pseudo-terminal (and its --link symlink) on which
// the devices of --scenario play one after the other, as boards swapped on a bench:
//   - the symlink is made at once, or after --appear-after-ms (a port that turns up late);
//   - the first device waits for the tool to open the port and switch it to raw mode; a later
//     one boots at once on the port the tool kept open, dropping what the tool sent that the
//     last device never read, and waits for the tool only if the tool closed the port;
//   - a device whose adapter is pulled (vanish) closes the terminal, and the symlink goes; after
//     --vanish-ms a new terminal comes, linked under the same name, for the next device;
//   - each device's "result:" line and JSON line (device_result.h) go out as it leaves.
// Construct on the main thread (the terminal exists from then on, so main can print its path
// first); run() on the port's own thread, which alone uses the object from then on. The data
// file's bytes and the options are shared read-only; the transcript lines go through one
// OutputLines.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "simulator/device_result.h"
#include "simulator/options.h"
#include "simulator/pty_device.h"
#include "simulator/slave_link.h"
#include "simulator/transcript.h"

namespace qelp::sim {

class PortLine {
  public:
    using Clock = std::chrono::steady_clock;

    // `linkPath` empty: no symlink. Throws std::system_error.
    PortLine(const Options& options, const std::vector<std::uint8_t>* data, std::string linkPath,
             int stopFd, Transcript transcript, Clock::time_point epoch);

    const std::string& ptyPath() const { return pty_->slavePath(); }

    // Plays the row; the exit code: 0 when every device saw what its scenario expects.
    int run();

  private:
    void introduce(std::size_t index);
    bool appear();
    std::optional<DeviceResult> waitForTool(std::size_t index);
    bool pullAndReturn(bool comesBack);
    void report(DeviceResult result);
    std::string portName() const;

    const Options& options_;
    const std::vector<std::uint8_t>* data_;
    int stopFd_;
    Transcript transcript_;
    Clock::time_point epoch_;
    std::unique_ptr<PtyDevice> pty_;
    std::optional<SlaveLink> link_;
};

}  // namespace qelp::sim

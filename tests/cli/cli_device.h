#pragma once
// A simulated QELP device for one run of the real qelpupd-cli: qelp-device-simulator on its own
// pseudo-terminal, told the data file so that it checks every byte. One thread.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/simulator_process.h"

namespace cli_test {

struct DeviceEnd {
    int exitCode = -1;       // 0: every byte matched and the tool kept to the protocol
    std::string transcript;  // what it printed after the terminal's path
};

class CliDevice {
  public:
    // `args`: the simulator's options; short pauses between lines are added unless given.
    explicit CliDevice(std::vector<std::string> args);

    const std::string& Path() const { return path_; }
    // Reads the transcript until a line starts with `prefix`; false at its end or after 20 s.
    bool WaitForLine(const std::string& prefix);
    // Waits until the simulator ended by itself (after the tool closed the port).
    DeviceEnd Finish();

  private:
    std::unique_ptr<SimulatorProcess> process_;
    std::string path_;
    std::string seen_;
};

// The number after `label` in `text` ("received 8959 bytes" with label "received "), if any.
std::optional<long> NumberAfter(const std::string& text, const std::string& label);

}  // namespace cli_test

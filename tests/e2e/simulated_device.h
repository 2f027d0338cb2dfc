#pragma once
// The QELP device for an end-to-end run: qelp-device-simulator as a child process on its own
// pseudo-terminal, named to the tool through QELPUPD_COM1 (or COM2). Test thread only.
//
// The simulator ends by itself once the tool has closed the port after the scenario's last line;
// its exit status and transcript then say what it received (see its --help).

#include <memory>
#include <string>
#include <vector>

class SimulatorProcess;

namespace e2e {

struct DeviceReport {
    int exitCode = -1;       // 0: what arrived matched; -1: it did not end in time
    std::string transcript;  // everything after the terminal's path
};

class SimulatedDevice {
  public:
    // `args` are the simulator's options; short pauses between lines and a generous linger are
    // added unless given. Sets QELPUPD_COM<comNumber> to the terminal; comNumber 0 sets nothing
    // (the test exposes the terminal some other way).
    explicit SimulatedDevice(std::vector<std::string> args, int comNumber = 1);
    // Unsets the variable; a simulator still running is killed.
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // Waits until the simulator has ended by itself.
    DeviceReport Finish();
    // Interrupts a simulator that waits for something that will not come, then as Finish.
    DeviceReport Stop();

  private:
    std::unique_ptr<SimulatorProcess> process_;
    std::string slavePath_;
    std::string variable_;
};

}  // namespace e2e

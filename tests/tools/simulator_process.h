#pragma once
// Runs the real qelp-device-simulator as a child process and reads its stdout: one line per port
// with the pty path (once they are out, the --link symlinks exist, unless --appear-after-ms holds
// them back), then the transcript, in which each device's result is one JSON line.
// Time-outs only keep a broken run from hanging the suite; the destructor kills a child that is
// still running. One thread.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One device's result line (see qelp-device-simulator --help).
struct SimulatedDeviceResult {
    std::string port;  // the --link, or the pty without one
    std::string pty;
    int device = 0;  // place in the port's row, from 1
    std::string scenario;
    bool ok = false;     // the device saw what its scenario expects
    std::string result;  // as the "result:" line says it
    long transfers = 0;
    long bytes = 0;  // of the last transfer
    std::optional<std::string> sha256;
    std::optional<bool> whole;
    std::optional<std::string> endWord;
    std::optional<long> requestedMs;  // since the simulator started
    std::optional<long> endedMs;
    std::optional<long> tookMs;
};

// Empty when `line` is not a result line.
std::optional<SimulatedDeviceResult> parseSimulatedDeviceResult(std::string_view line);

class SimulatorProcess {
  public:
    explicit SimulatorProcess(std::vector<std::string> args);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // The next stdout line without its LF; empty at end of output or after 20 s.
    std::optional<std::string> readLine();
    // Reads on to the next device's result; empty at end of output or after 20 s without a line.
    std::optional<SimulatedDeviceResult> readResult();
    void signal(int signalNumber);
    // Exit code, or -1 when it did not end within 30 s; then it is killed.
    int waitForExit();
    // What it printed after the lines already read.
    const std::string& restOfTranscript() const { return pending_; }
    // Every result line so far: those read and those still in restOfTranscript(), in order.
    std::vector<SimulatedDeviceResult> results() const;

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kLineDeadline{20};
    static constexpr std::chrono::seconds kExitDeadline{30};

    // Reads what came, waiting until `deadline` at most; false at end of output or at the deadline.
    bool readMore(Clock::time_point deadline);

    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string pending_;
    std::vector<SimulatedDeviceResult> resultsRead_;
    bool outputEnded_ = false;
};

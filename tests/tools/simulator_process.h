#pragma once
// Runs the real qelp-device-simulator as a child process and reads its stdout (the pty path
// line, then the transcript). Time-outs only keep a broken run from hanging the suite; the
// destructor kills a child that is still running.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class SimulatorProcess {
  public:
    explicit SimulatorProcess(std::vector<std::string> args);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // The next stdout line without its LF; empty at end of output or after 20 s.
    std::optional<std::string> readLine();
    void signal(int signalNumber);
    // Exit code, or -1 when it did not end within 30 s; then it is killed.
    int waitForExit();
    // What it printed after the lines already read.
    const std::string& restOfTranscript() const { return pending_; }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kLineDeadline{20};
    static constexpr std::chrono::seconds kExitDeadline{30};

    // Reads what came, waiting until `deadline` at most; false at end of output or at the deadline.
    bool readMore(Clock::time_point deadline);

    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string pending_;
    bool outputEnded_ = false;
};

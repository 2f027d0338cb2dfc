#pragma once
// Runs the real qelpupd-cli as a child process in the current directory, with standard output and
// standard error on pipes (so: not terminals) and standard input from /dev/null. Standard output
// may be left unread, as by a reader that hung. Extra environment
// variables (QELPUPD_COM1 ...) go to the child only. Every wait has a deadline, so that a broken
// run fails instead of hanging; the destructor kills a child that is still running. One thread.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class CliProcess {
  public:
    using Environment = std::vector<std::pair<std::string, std::string>>;
    enum class Output { kRead, kStalled };

    explicit CliProcess(std::vector<std::string> args, const Environment& extra = {},
                        Output output = Output::kRead);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signalNumber);

    // Waits until standard error holds `text`; false if the deadline passed or the child ended.
    bool WaitForError(const std::string& text, std::chrono::milliseconds deadline);
    // Waits until `seen` holds for what came on standard output and standard error so far; false
    // if the deadline passed or the child ended first.
    bool WaitUntil(const std::function<bool(const std::string& out, const std::string& err)>& seen,
                   std::chrono::milliseconds deadline);
    // Waits until the child has written at least `bytes` (to the port and its pipes together) and
    // then nothing for `quiet`: it waits for room on a line that stopped taking data. False if
    // the deadline passed or the child ended.
    bool WaitUntilWritingStops(std::uint64_t bytes, std::chrono::milliseconds quiet,
                               std::chrono::milliseconds deadline);

    struct Ended {
        int status = -1;  // exit status; 128 + n after signal n; -1 when it did not end in time
        std::string out;  // all of standard output (nothing when it was left unread)
        std::string err;  // all of standard error
        double cpuSeconds = 0;              // user + system time of the child
        std::chrono::milliseconds wall{0};  // from start to end
    };
    // Waits for the end, reading both pipes; kills the child at the deadline.
    Ended Finish(std::chrono::milliseconds deadline = std::chrono::seconds(60));

  private:
    using Clock = std::chrono::steady_clock;
    // Reads what came on either pipe, waiting until `deadline` at most; false once both ended or
    // at the deadline.
    bool ReadMore(Clock::time_point deadline);

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool outStalled_ = false;
    std::string outText_;
    std::string errText_;
    Clock::time_point started_;
};

// The path of the qelpupd-cli binary under test.
const char* CliPath();

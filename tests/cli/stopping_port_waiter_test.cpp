// How a station's block waits when the line takes nothing: after Ctrl+C it keeps the block's own
// write time-out, but once the run's deadline has passed it is given up within kBlockGrace. Each
// case runs in a child process, since the stop is process-wide and a wait that never ends must
// not hold up the suite: the child reports how its wait ended as its exit code.

#include "cli/stopping_port_waiter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A pipe's write end that takes nothing more: a line whose device stopped reading.
int FullPipe() {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK) != 0) return -1;
    const char chunk[4096] = {};
    while (write(ends[1], chunk, sizeof chunk) > 0) {
    }
    return ends[1];  // the read end stays open: the pipe is full, not broken
}

struct WaiterCase {
    const char* name;
    bool interrupt;                         // Ctrl+C before the wait
    std::chrono::milliseconds runDeadline;  // from the wait's start
    PortWaitEnd expected;
};

void PrintTo(const WaiterCase& c, std::ostream* out) {
    *out << c.name;
}

class StoppingPortWaiterTest : public testing::TestWithParam<WaiterCase> {};

TEST_P(StoppingPortWaiterTest, GivesUpABlockOnlyOnceTheRunsDeadlineHasPassed) {
    const WaiterCase& c = GetParam();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int line = FullPipe();
        if (line < 0 || !InstallStopSignals("")) _exit(100);
        if (c.interrupt) raise(SIGINT);
        const RunStop stop(Clock::now() + c.runDeadline);
        StoppingPortWaiter waiter(stop);
        _exit(static_cast<int>(waiter.Wait(line, 3000ms)));
    }
    // Whatever ends the wait comes within the block's 3 s; a child still waiting after that hangs.
    const int exited = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    ASSERT_GE(exited, 0);
    pollfd fd{exited, POLLIN, 0};
    const bool ended = poll(&fd, 1, 6000) == 1;
    close(exited);
    if (!ended) kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(ended) << "the wait never ended";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Waits, StoppingPortWaiterTest,
    testing::Values(
        WaiterCase{"DeadlinePassesDuringTheBlock", false, 300ms, PortWaitEnd::kInterrupted},
        WaiterCase{"DeadlinePassesAfterCtrlC", true, 300ms, PortWaitEnd::kInterrupted},
        WaiterCase{"CtrlCAloneKeepsTheWriteTimeOut", true, 60000ms, PortWaitEnd::kTimedOut}),
    [](const testing::TestParamInfo<WaiterCase>& param) { return param.param.name; });

}  // namespace

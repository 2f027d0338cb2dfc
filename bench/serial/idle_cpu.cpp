// CPU used by an open port and its watcher: 5 s without traffic, then 5 s after the peer hung up.
// Both should be about zero: the watcher sleeps in poll() and ends on the hang-up. Prints figures;
// asserts nothing.
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "process_cpu.h"
#include "serial/comm_port.h"
#include "serial/pty_peer.h"

namespace {

using namespace std::chrono_literals;

// Percent of one core that the process used while this thread slept for `span`.
double CpuPercentOver(std::chrono::seconds span) {
    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(span);
    return (ProcessCpuSeconds() - before) / static_cast<double>(span.count()) * 100.0;
}

}  // namespace

int main() {
    PtyPeer peer;
    setenv("QELPUPD_COM1", peer.SlavePath().c_str(), 1);
    CCommPort port;
    port.BaudRate = UPDATE_BAUD;
    if (port.OpenPort("COM1") == 0) {
        std::fprintf(stderr, "%s\n", port.DescribeOpenFailure().c_str());
        return 1;
    }

    const double idle = CpuPercentOver(5s);

    peer.HangUp();
    std::atomic<int> stop{0};
    port.Buffer().WaitForData(stop);  // returns once the watcher has seen the hang-up
    const double afterHangUp = CpuPercentOver(5s);

    std::printf("CPU of an open port and its watcher, percent of one core\n");
    std::printf("  5 s idle            : %.3f %%\n", idle);
    std::printf("  5 s after a hang-up : %.3f %% (hang-up recorded: %s)\n", afterHangUp,
                port.Buffer().InputEnded() ? "yes" : "no");
    return 0;
}

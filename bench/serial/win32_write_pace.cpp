// Write pace on Win32 under Wine: 200-byte blocks, each written and drained by WriteBlock as the
// upload does, to the Linux peer (wine_com_peer) reading at once, and reading at the pace of a
// 19200-baud line (its --pace reader). A pseudo-terminal holds kilobytes before a paced reader
// holds the writer back, so the paced figures are split into the first blocks and the rest. Run
// beside a peer: tests/wine/with_com_peer.sh PEER wine THIS.exe [BLOCKS-AT-ONCE] [BLOCKS-PACED]
// Prints figures; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/comm_port.h"
#include "serial/received_bytes.h"
#include "serial/win32_com_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kBlock = 200;

struct Run {
    std::vector<double> blockSeconds;  // each WriteBlock, written and drained
    double totalSeconds = 0;
    bool whole = false;  // the peer received every byte in order
};

Run Upload(ComPeer& peer, int blocks, unsigned baud) {
    _putenv_s("QELPUPD_COM1", peer.NewLine().c_str());
    CCommPort port;
    port.BaudRate = UPDATE_BAUD;
    Run run;
    if (port.OpenPort("COM1") == 0) {
        std::fprintf(stderr, "%s\n", port.DescribeOpenFailure().c_str());
        return run;
    }
    const std::string data = test::Pattern(static_cast<size_t>(blocks) * kBlock);
    peer.BeginReceive(data.size(), 3000, baud);
    const auto start = Clock::now();
    for (int i = 0; i < blocks; ++i) {
        const auto before = Clock::now();
        if (port.WriteBlock(data.data() + static_cast<size_t>(i) * kBlock, kBlock) == 0) break;
        run.blockSeconds.push_back(std::chrono::duration<double>(Clock::now() - before).count());
    }
    run.totalSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.whole = peer.EndReceive() == data;
    port.ClosePort();
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Longest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

void Print(const char* title, const Run& run, size_t split) {
    const size_t blocks = run.blockSeconds.size();
    std::printf(
        "%s: %zu blocks in %.2f s, %.1f blocks/s, block median %.2f ms, longest %.0f ms, %s\n",
        title, blocks, run.totalSeconds, static_cast<double>(blocks) / run.totalSeconds,
        Median(run.blockSeconds) * 1000, Longest(run.blockSeconds) * 1000,
        run.whole ? "arrived whole" : "NOT whole");
    if (split == 0 || split >= blocks) return;
    const std::vector<double> first(run.blockSeconds.begin(), run.blockSeconds.begin() + split);
    const std::vector<double> rest(run.blockSeconds.begin() + split, run.blockSeconds.end());
    double restSeconds = 0;
    for (double s : rest) restSeconds += s;
    std::printf(
        "  first %zu blocks: median %.2f ms; the other %zu: %.1f blocks/s, median %.2f ms, "
        "longest %.0f ms\n",
        split, Median(first) * 1000, rest.size(), static_cast<double>(rest.size()) / restSeconds,
        Median(rest) * 1000, Longest(rest) * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    const int atOnce = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int paced = argc > 2 ? std::atoi(argv[2]) : 200;
    ComPeer peer;
    std::printf("WriteBlock of %u-byte blocks, written and drained, under Wine\n", kBlock);
    Print("peer reading at once      ", Upload(peer, atOnce, 0), 0);
    Print("peer reading at 19200 baud", Upload(peer, paced, 19200), static_cast<size_t>(paced / 2));
    std::printf("a 19200-baud line carries %.1f blocks/s (10 bits a byte)\n",
                19200.0 / 10 / kBlock);
    return 0;
}

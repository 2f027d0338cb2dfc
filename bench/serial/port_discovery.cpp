// How long looking for serial ports takes, as the port dialog does it on the UI thread: on this
// machine's own /sys and /dev, and on a fake tree with 64 adapters and the four placeholder UARTs.
// Prints the median and the slowest of 200 runs each; asserts nothing.
#include "serial/port_discovery.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "support/fake_port_tree.h"

namespace {

void Measure(const char* what, const SystemRoots& roots) {
    std::vector<double> runs;
    std::size_t found = 0;
    for (int i = 0; i < 200; ++i) {
        const auto start = std::chrono::steady_clock::now();
        found = DiscoverSerialPorts(roots).size();
        runs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(runs.begin(), runs.end());
    std::printf("%-34s %3zu ports  median %.3f ms  slowest %.3f ms\n", what, found,
                runs[runs.size() / 2], runs.back());
}

}  // namespace

int main() {
    Measure("this machine", SystemRoots{});
    test::FakePortTree tree;
    for (const char* tty : {"ttyS0", "ttyS1", "ttyS2", "ttyS3"}) tree.AddUart(tty, 0);
    for (int i = 0; i < 64; ++i) {
        tree.AddUsb({"ttyUSB" + std::to_string(i), "ftdi_sio", "1-" + std::to_string(i + 1), "FTDI",
                     "FT232R USB UART", "S" + std::to_string(i)});
    }
    Measure("fake tree, 64 adapters", tree.Roots());
    return 0;
}

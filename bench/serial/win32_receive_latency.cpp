// Receive latency on Win32 under Wine: from the Linux peer's write of a burst (wine_com_peer, on a
// pseudo-terminal linked as a COM port) until a thread waiting on the port's ReceiveBuffer, as the
// console reader does, has its first byte. Both ends read the same clock (the peer's
// CLOCK_MONOTONIC_RAW is Wine's QueryPerformanceCounter; checked first). Bursts of 1 to 64 bytes,
// 5 to 30 ms apart. Then how long the reader takes to learn of a hang-up, and how long ClosePort
// takes with the watcher waiting. Run beside a peer:
//   tests/wine/with_com_peer.sh PEER wine THIS.exe [BURSTS]
// Prints figures; asserts nothing.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "serial/comm_port.h"
#include "serial/win32_com_peer.h"

namespace {

// What the reading thread saw: the clock at its first wake-up after `armed`, and bytes taken.
struct Arrivals {
    std::mutex mutex;
    std::condition_variable changed;
    bool armed = false;
    int64_t firstAt = 0;
    long taken = 0;
};

void ReadAll(CCommPort& port, Arrivals& arrivals, const std::atomic<int>& stop) {
    while (port.Buffer().WaitForData(stop)) {
        const int64_t now = LocalClock();
        long count = 0;
        while (port.Buffer().GetByte() != -1) ++count;
        std::lock_guard lock(arrivals.mutex);
        if (arrivals.armed && arrivals.firstAt == 0) arrivals.firstAt = now;
        arrivals.taken += count;
        arrivals.changed.notify_all();
    }
}

double Milliseconds(int64_t nanoseconds) {
    return static_cast<double>(nanoseconds) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int bursts = argc > 1 ? std::atoi(argv[1]) : 300;
    ComPeer peer;
    _putenv_s("QELPUPD_COM1", peer.NewLine().c_str());

    // The clocks: the peer's reading must fall between two of ours.
    int64_t worstGap = 0;
    bool agree = true;
    for (int i = 0; i < 20; ++i) {
        const int64_t before = LocalClock();
        const int64_t theirs = peer.PeerClock();
        const int64_t after = LocalClock();
        agree = agree && before <= theirs && theirs <= after;
        worstGap = std::max(worstGap, after - before);
    }
    std::printf("clocks: the peer's reading %s between ours (round trip up to %.2f ms)\n",
                agree ? "always fell" : "did NOT fall", Milliseconds(worstGap));

    CCommPort port;
    port.BaudRate = UPDATE_BAUD;
    if (port.OpenPort("COM1") == 0) {
        std::fprintf(stderr, "%s\n", port.DescribeOpenFailure().c_str());
        return 1;
    }
    Arrivals arrivals;
    std::atomic<int> stop{0};
    std::thread reader(ReadAll, std::ref(port), std::ref(arrivals), std::cref(stop));

    std::mt19937 random(17);
    std::vector<int64_t> latencies;
    long expected = 0;
    for (int i = 0; i < bursts; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + random() % 26));
        const long size = 1 + static_cast<long>(random() % 64);
        {
            std::lock_guard lock(arrivals.mutex);
            arrivals.armed = true;
            arrivals.firstAt = 0;
        }
        const int64_t sentAt = peer.Send(size, i);
        expected += size;
        std::unique_lock lock(arrivals.mutex);
        if (!arrivals.changed.wait_for(lock, std::chrono::seconds(10),
                                       [&] { return arrivals.taken >= expected; })) {
            std::fprintf(stderr, "burst %d never arrived whole\n", i);
            break;
        }
        latencies.push_back(arrivals.firstAt - sentAt);
        arrivals.armed = false;
    }
    // The hang-up ends the reader's wait for data: the watcher saw the device go.
    const int64_t hangUpAt = LocalClock();
    peer.HangUp();
    reader.join();
    const int64_t hangUpSeen = LocalClock();
    port.ClosePort();

    // ClosePort of a port whose watcher waits for bytes.
    _putenv_s("QELPUPD_COM1", peer.NewLine().c_str());
    CCommPort idle;
    idle.BaudRate = UPDATE_BAUD;
    int64_t closeTook = -1;
    if (idle.OpenPort("COM1") != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        const int64_t before = LocalClock();
        idle.ClosePort();
        closeTook = LocalClock() - before;
    }

    if (latencies.empty()) return 1;
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double share) {
        return latencies[std::min(
            latencies.size() - 1,
            static_cast<size_t>(share * static_cast<double>(latencies.size())))];
    };
    std::printf("receive latency over %zu bursts of 1-64 bytes (peer's write -> reader has it):\n",
                latencies.size());
    std::printf("  median %.2f ms, p90 %.2f ms, p99 %.2f ms, worst %.2f ms, best %.2f ms\n",
                Milliseconds(at(0.5)), Milliseconds(at(0.9)), Milliseconds(at(0.99)),
                Milliseconds(latencies.back()), Milliseconds(latencies.front()));
    std::printf("  %ld bytes, none lost\n", arrivals.taken);
    std::printf(
        "hang-up to the reader's end of input: %.2f ms (the request to the peer included)\n",
        Milliseconds(hangUpSeen - hangUpAt));
    std::printf("ClosePort with the watcher waiting: %.2f ms\n", Milliseconds(closeTook));
    return 0;
}

// The port watcher's pause after a read that brought nothing: none for a driver that keeps its
// read time-outs, a growing and bounded one for a driver that ends every read at once.
#include "serial/read_back_off.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

TEST(ReadBackOffTest, PausesOnlyAfterReadsThatEndedAtOnceGrowingToABound) {
    const struct {
        const char* name;
        std::chrono::milliseconds lasted;
        std::chrono::milliseconds previous;
        std::chrono::milliseconds pause;
    } cases[] = {
        {"an idle read that waited its time-out", kIdleRead, 0ms, 0ms},
        {"one that waited loosely, after pauses", 30ms, 40ms, 0ms},
        {"the first to end at once", 0ms, 0ms, kFirstReadBackOff},
        {"the next one doubles it", 1ms, kFirstReadBackOff, 2 * kFirstReadBackOff},
        {"up to the bound", 0ms, kLastReadBackOff - 1ms, kLastReadBackOff},
        {"and no further", 0ms, kLastReadBackOff, kLastReadBackOff},
    };
    for (const auto& c : cases) EXPECT_EQ(NextReadBackOff(c.lasted, c.previous), c.pause) << c.name;
}

TEST(ReadBackOffTest, ADriverThatEndsEveryReadAtOnceGetsAFewReadsASecond) {
    std::chrono::milliseconds pause{0};
    std::chrono::milliseconds spent{0};
    int reads = 0;
    // Bounded, so that a back-off of nothing fails the check below instead of spinning.
    while (spent < 1s && reads < 1000) {
        pause = NextReadBackOff(0ms, pause);
        spent += pause;
        ++reads;
    }
    EXPECT_LE(reads, 15);
}

}  // namespace

#include "serial/read_back_off.h"

#include <algorithm>

std::chrono::milliseconds NextReadBackOff(std::chrono::steady_clock::duration readLasted,
                                          std::chrono::milliseconds previous) {
    // A read that waited at least a tenth of what it was asked to has not ended at once: the
    // driver keeps its time-outs, maybe loosely.
    if (readLasted >= kIdleRead / 10) return std::chrono::milliseconds{0};
    return std::clamp(previous * 2, kFirstReadBackOff, kLastReadBackOff);
}

// Helpers for tests that move bytes across a port: a recognisable byte pattern, a comparison that
// names the first difference instead of printing kilobytes of binary, and taking bytes out of a
// port's ReceiveBuffer as the console reader does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "serial/receive_buffer.h"

namespace test {

// `size` bytes of a pattern that repeats only after 65,536 bytes, starting at byte `from`.
inline std::string Pattern(size_t size, size_t from = 0) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((from + i) * 13 + (from + i) / 256);
    return bytes;
}

inline ::testing::AssertionResult SameBytes(const std::string& actual,
                                            const std::string& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    return ::testing::AssertionFailure()
           << actual.size() << " bytes instead of " << expected.size() << ", first difference at "
           << (diff.first - actual.begin());
}

// Takes `count` bytes out of the buffer, waiting for them; fewer when the input ended first.
inline std::string Take(ReceiveBuffer& buffer, size_t count) {
    std::atomic<int> stop{0};
    std::string taken;
    while (taken.size() < count && buffer.WaitForData(stop)) {
        for (int c = 0; taken.size() < count && (c = buffer.GetByte()) != -1;)
            taken += static_cast<char>(c);
    }
    return taken;
}

}  // namespace test

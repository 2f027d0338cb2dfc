#include "simulator/pacer.h"

#include <algorithm>
#include <cstdint>

namespace qelp::sim {
namespace {
constexpr std::int64_t kNanosPerSecond = 1'000'000'000;
constexpr std::int64_t kSliceMillis = 20;
}  // namespace

Pacer::Pacer(unsigned baud, unsigned bitsPerByte, Clock::time_point start)
    : baud_(baud),
      bitsPerByte_(bitsPerByte),
      sliceBytes_(std::max<std::size_t>(1, std::size_t{baud} * kSliceMillis / 1000 / bitsPerByte)),
      anchor_(start) {}

std::chrono::nanoseconds Pacer::durationOf(std::size_t bytes) const {
    // Rounded up, so that a slice is never allowed before the line could have carried it.
    const auto bits = static_cast<std::int64_t>(bytes) * bitsPerByte_;
    return std::chrono::nanoseconds((bits * kNanosPerSecond + baud_ - 1) / baud_);
}

std::size_t Pacer::bytesCarriedIn(std::chrono::nanoseconds span) const {
    if (span.count() <= 0) return 0;
    // Spans of days still fit: nanoseconds times 19200 stays far below 2^63.
    return static_cast<std::size_t>(span.count() * baud_ / (kNanosPerSecond * bitsPerByte_));
}

std::size_t Pacer::allowance(Clock::time_point now) {
    std::size_t due = bytesCarriedIn(now - anchor_);
    due = due > consumedSinceAnchor_ ? due - consumedSinceAnchor_ : 0;
    // Up to two slices of credit is lateness of the reader, which the schedule makes up, and so
    // is any credit while the sender kept the line busy; else more is a quiet spell, which earns
    // one slice only.
    if (due > 2 * sliceBytes_ && !lineBusy_) {
        anchor_ = now - durationOf(sliceBytes_);
        consumedSinceAnchor_ = 0;
        due = sliceBytes_;
    }
    return due < sliceBytes_ ? 0 : sliceBytes_;
}

void Pacer::consume(std::size_t bytes, bool moreWaiting) {
    consumedSinceAnchor_ += bytes;
    lineBusy_ = moreWaiting;
}

Pacer::Clock::time_point Pacer::nextSliceAt() const {
    return anchor_ + durationOf(consumedSinceAnchor_ + sliceBytes_);
}

}  // namespace qelp::sim

#pragma once
// Paces reading to the speed of a real serial line (--pace). A pseudo-terminal moves data as fast
// as both ends allow, so the simulated device itself must read no faster than a UART would
// deliver. It reads in slices of about 20 ms on a monotonic schedule: a slice is allowed once the
// line could have carried it since the schedule's anchor, so a reader that wakes late catches up.
// Credit from a quiet spell is capped at one slice, since a real line carries nothing while the
// sender is quiet. While the sender keeps bytes queued (the last read left some waiting) the line
// was busy all along, so however late the reader wakes (a loaded machine, many ports) it makes up
// the whole delay.
// Pure arithmetic on time points handed in by the caller; single-threaded.

#include <chrono>
#include <cstddef>

namespace qelp::sim {

class Pacer {
  public:
    using Clock = std::chrono::steady_clock;

    Pacer(unsigned baud, unsigned bitsPerByte, Clock::time_point start);

    // Bytes that may be read at `now`: 0 until a whole slice is due, then one slice.
    std::size_t allowance(Clock::time_point now);
    // `moreWaiting`: the read left bytes queued behind it.
    void consume(std::size_t bytes, bool moreWaiting = false);
    // When the next whole slice will be due.
    Clock::time_point nextSliceAt() const;

    std::size_t sliceBytes() const { return sliceBytes_; }

  private:
    std::chrono::nanoseconds durationOf(std::size_t bytes) const;
    std::size_t bytesCarriedIn(std::chrono::nanoseconds span) const;

    unsigned baud_;
    unsigned bitsPerByte_;
    std::size_t sliceBytes_;
    Clock::time_point anchor_;
    std::size_t consumedSinceAnchor_ = 0;
    bool lineBusy_ = false;
};

}  // namespace qelp::sim

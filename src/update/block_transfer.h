#pragma once
// The block transfer: the data file's bytes go to the port in blocks of BLOCK_SIZE, each written
// and drained before the next (CCommPort::WriteBlock, with its write time-out), then the remainder
// in one write. Before each block the progress display steps and is asked whether Cancel was
// pressed. A block that did not go out whole stops the transfer: the device would get a file with a
// hole.
//
// Runs on the thread that owns the port; the progress display is called on that thread too.

#include <cstdint>
#include <span>

#include "serial/output_hold.h"

class CCommPort;

inline constexpr std::uint32_t BLOCK_SIZE = 200;

// What the transfer shows and where a Cancel press comes from. In the window program it is the
// progress dialog, whose calls also keep the windows alive.
class TransferProgress {
  public:
    virtual ~TransferProgress() = default;

    // Called once, before the first block: the range runs over the whole blocks.
    virtual void SetBarRange(int lower, int upper) = 0;
    virtual void SetBarStep(int step) = 0;
    // Before each whole block: the display shows the block as done just before it is written.
    virtual void StepBar() = 0;
    // After each StepBar: true once for each Cancel press.
    virtual bool CancelRequested() = 0;
};

enum class TransferEnd {
    kComplete,     // every whole block and the remainder went out
    kCancelled,    // Cancel was pressed; the blocks before it went out
    kWriteFailed,  // a write failed or ran out of time; the blocks before it went out
    kHungUp,       // the device went away during a write
};

struct TransferResult {
    TransferEnd end = TransferEnd::kComplete;
    std::uint32_t blocksSent = 0;     // whole blocks written and drained
    std::uint32_t remainderSent = 0;  // bytes of the last, short write, once it went out whole
    // What held back the write that ended the transfer, as the modem lines last showed it;
    // nothing when no write was held or the lines could not be read.
    OutputHold heldBy;

    std::uint64_t BytesSent() const {
        return std::uint64_t{blocksSent} * BLOCK_SIZE + remainderSent;
    }
};

// Sends `bytes` in whole blocks, then the remainder unless something stopped the blocks. `live`,
// when given, holds the figures as they grow, for a handler that the writes' waits serve.
TransferResult SendBlocks(std::span<const unsigned char> bytes, CCommPort& port,
                          TransferProgress& progress, TransferResult* live = nullptr);

// The figures of a transfer of `total` bytes once the write under way when `sofar` was taken has
// gone out whole as well: the next block, or the remainder after the last block.
TransferResult WithWriteUnderWayDone(TransferResult sofar, std::uint64_t total);

#include "update/block_transfer.h"

#include "serial/comm_port.h"

namespace {

void EndByFailedWrite(const CCommPort& port, TransferResult& result) {
    result.end = port.LastWriteFailure() == WriteFailure::kGone ? TransferEnd::kHungUp
                                                                : TransferEnd::kWriteFailed;
    result.heldBy = port.LastWriteHold();
}

}  // namespace

TransferResult SendBlocks(std::span<const unsigned char> bytes, CCommPort& port,
                          TransferProgress& progress, TransferResult* live) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    const std::uint32_t count = length / BLOCK_SIZE;
    progress.SetBarRange(0, static_cast<int>(count));
    progress.SetBarStep(1);

    TransferResult own;
    TransferResult& result = live != nullptr ? *live : own;
    result = {};
    const unsigned char* position = bytes.data();
    for (std::uint32_t block = 0; block < count; ++block) {
        // The bar shows a block as done just before it is written.
        progress.StepBar();
        if (progress.CancelRequested()) {
            result.end = TransferEnd::kCancelled;
            return result;
        }
        if (!port.WriteBlock(position, BLOCK_SIZE)) {
            EndByFailedWrite(port, result);
            return result;
        }
        ++result.blocksSent;
        position += BLOCK_SIZE;
    }
    const std::uint32_t remainder = length - count * BLOCK_SIZE;
    if (remainder == 0) return result;
    // Nothing follows the last write, so its failure changes no step; it only shows in the result.
    if (port.WriteBlock(position, remainder))
        result.remainderSent = remainder;
    else
        EndByFailedWrite(port, result);
    return result;
}

TransferResult WithWriteUnderWayDone(TransferResult sofar, std::uint64_t total) {
    if (sofar.blocksSent < total / BLOCK_SIZE)
        ++sofar.blocksSent;
    else
        sofar.remainderSent = static_cast<std::uint32_t>(total % BLOCK_SIZE);
    return sofar;
}

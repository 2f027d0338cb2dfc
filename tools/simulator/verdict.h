#pragma once
// Turns what happened during a run into the transcript's "result:" line and the exit code.
// Pure; the session (device_session.h) collects the facts.

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "simulator/data_check.h"

namespace qelp::sim {

enum ExitCode : int { kExitMatch = 0, kExitProblem = 1, kExitBadArguments = 2 };

// How a transfer's receiving ended.
enum class TransferEnd {
    kComplete,     // the expected length arrived
    kQuietGap,     // the line was quiet for --idle-ms
    kReachedCut,   // the hangup or stall point was reached
    kPortClosed,   // the tool closed the port
    kInterrupted,  // SIGINT or SIGTERM
};

struct TransferOutcome {
    DataCheck check;
    std::optional<std::size_t> cut;  // only the bytes before the cut count
    TransferEnd end = TransferEnd::kQuietGap;
};

struct RunFacts {
    std::span<const TransferOutcome> transfers;
    int transfersPlanned = 0;
    std::size_t strayBytes = 0;  // data nobody asked for, or data after the end line
    bool interrupted = false;
};

struct Verdict {
    int exitCode = kExitProblem;
    std::string line;  // without the "result: " prefix
};

Verdict judge(const RunFacts& facts);

}  // namespace qelp::sim

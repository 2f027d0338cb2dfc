#include "simulator/verdict.h"

#include "simulator/transcript.h"

namespace qelp::sim {
namespace {

std::string countAndHash(const DataCheck& check) {
    return "received " + std::to_string(check.received()) + " bytes, fnv1a64 " +
           hex64(check.hash());
}

}  // namespace

Verdict judge(const RunFacts& facts) {
    if (facts.interrupted) return {kExitProblem, "interrupted"};

    for (std::size_t i = 0; i < facts.transfers.size(); ++i) {
        const TransferOutcome& t = facts.transfers[i];
        const std::string which =
            facts.transfersPlanned > 1 ? " in transfer " + std::to_string(i + 1) : "";
        if (const auto at = t.check.mismatchAt(t.cut)) {
            return {kExitProblem, "mismatch at byte " + std::to_string(*at) + which};
        }
        // Without an expectation a closed port is the only sign that the transfer was cut short.
        const bool cutShort = t.end == TransferEnd::kPortClosed && !t.check.complete() &&
                              !(t.cut && t.check.received() >= *t.cut);
        if (!t.check.hasExpectation() && cutShort) {
            return {kExitProblem, countAndHash(t.check) +
                                      ", but the port was closed during the transfer" + which};
        }
    }
    const auto done = static_cast<int>(facts.transfers.size());
    if (done < facts.transfersPlanned) {
        return {kExitProblem,
                "the port was closed before the device asked for the data" +
                    (facts.transfersPlanned > 1 ? " (transfer " + std::to_string(done + 1) + ")"
                                                : std::string())};
    }

    std::string line;
    if (facts.transfers.empty()) {
        line = "nothing was asked for";
        if (facts.strayBytes == 0) return {kExitMatch, line + " and nothing arrived"};
    } else {
        const TransferOutcome& first = facts.transfers.front();
        if (!first.check.hasExpectation()) {
            line = countAndHash(first.check);
        } else if (first.cut && *first.cut < first.check.expectedSize()) {
            line = "match (first " + std::to_string(*first.cut) + " bytes)";
        } else {
            line = "match";
        }
        if (facts.strayBytes == 0) return {kExitMatch, line};
    }
    return {kExitProblem,
            line + ", but " + std::to_string(facts.strayBytes) + " bytes arrived unasked"};
}

}  // namespace qelp::sim

// The simulator's command line over arbitrary arguments (the input's NUL bytes part them): a
// rejection always says why; an accepted one names a known scenario, keeps its durations within
// a day and its cut points to the scenario that uses them.

#include <chrono>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "simulator/options.h"

using fuzz::Check;
using qelp::sim::ParsedCommandLine;
using qelp::sim::Scenario;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Pieces pieces(data, size);
    const ParsedCommandLine parsed = qelp::sim::parseCommandLine(pieces.Views());
    Check((parsed.action == ParsedCommandLine::Action::kReject) == !parsed.error.empty());
    if (parsed.action != ParsedCommandLine::Action::kRun) return 0;
    const qelp::sim::Options& o = parsed.options;
    Check(qelp::sim::scenarioFromName(qelp::sim::scenarioName(o.scenario)) == o.scenario);
    for (const std::chrono::milliseconds ms : {o.idle, o.linger, o.bootDelay, o.waitOpen})
        Check(ms >= std::chrono::milliseconds(0) && ms <= std::chrono::hours(24));
    Check(!o.hangupAfter || o.scenario == Scenario::kHangup);
    Check(!o.stallAfter || o.scenario == Scenario::kStall);
    return 0;
}

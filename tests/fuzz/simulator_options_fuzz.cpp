// The simulator's command line over arbitrary arguments (the input's NUL bytes part them): a
// rejection always says why; an accepted one names known scenarios, keeps its durations within
// a day, its cut points to the scenarios that use them, a hang-up to the end of the list, and
// what needs a symlink to a command line that makes one, once per path.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <set>
#include <string>

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
    Check(!o.scenarios.empty());
    for (const Scenario scenario : o.scenarios)
        Check(qelp::sim::scenarioFromName(qelp::sim::scenarioName(scenario)) == scenario);
    for (const std::chrono::milliseconds ms :
         {o.idle, o.linger, o.bootDelay, o.waitOpen, o.between, o.vanishFor, o.appearAfter})
        Check(ms >= std::chrono::milliseconds(0) && ms <= std::chrono::hours(24));
    const auto plays = [&o](Scenario s) {
        return std::find(o.scenarios.begin(), o.scenarios.end(), s) != o.scenarios.end();
    };
    Check(!o.hangupAfter || plays(Scenario::kHangup) || plays(Scenario::kVanish));
    Check(!o.stallAfter || plays(Scenario::kStall));
    Check(!plays(Scenario::kHangup) || o.scenarios.back() == Scenario::kHangup);
    Check(std::count(o.scenarios.begin(), o.scenarios.end(), Scenario::kHangup) <= 1);
    Check(o.linkPaths.size() > 0 || (!plays(Scenario::kVanish) && o.appearAfter.count() == 0));
    std::set<std::string> links(o.linkPaths.begin(), o.linkPaths.end());
    Check(links.size() == o.linkPaths.size() && !links.contains(""));
    return 0;
}

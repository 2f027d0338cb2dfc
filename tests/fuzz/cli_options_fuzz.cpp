// qelpupd-cli's command line over arbitrary arguments (the input's NUL bytes part them): a
// rejection always says why, an accepted one holds a port and a time-out within its bounds, and a
// station's options only with --station.

#include <chrono>
#include <cstdint>
#include <string>

#include "cli/options.h"
#include "fuzz/fuzz_input.h"

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Pieces pieces(data, size);
    const ParsedOptions parsed = ParseOptions(pieces.Views());
    Check((parsed.action == ParsedOptions::Action::kReject) == !parsed.error.empty());
    if (parsed.action == ParsedOptions::Action::kReject) return 0;
    Check(!parsed.options.port.empty());
    if (parsed.options.timeout) {
        using std::chrono::milliseconds;
        constexpr auto kMax = std::chrono::duration<double>(kMaxTimeoutSeconds);
        Check(*parsed.options.timeout >= milliseconds(1) && *parsed.options.timeout <= kMax);
    }
    if (parsed.options.runs) Check(*parsed.options.runs >= 1 && *parsed.options.runs <= kMaxRuns);
    if (parsed.action == ParsedOptions::Action::kRun && !parsed.options.station)
        Check(!parsed.options.runs && !parsed.options.json);
    for (const std::string& port : parsed.options.ports) Check(!port.empty());
    return 0;
}

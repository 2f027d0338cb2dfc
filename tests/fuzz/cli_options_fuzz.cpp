// qelpupd-cli's command line over arbitrary arguments (the input's NUL bytes part them): a
// rejection always says why, an accepted one holds a port and a time-out within its bounds.

#include <chrono>
#include <cstdint>

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
    return 0;
}

// qelp-device-simulator: plays a QELP device on a pseudo-terminal. See --help, and
// device_session.h for the course of a run.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "simulator/device_session.h"
#include "simulator/options.h"
#include "simulator/pty_device.h"
#include "simulator/slave_link.h"
#include "simulator/stop_signal.h"
#include "simulator/transcript.h"
#include "simulator/verdict.h"

namespace {

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
    if (file.bad()) return std::nullopt;
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qelp::sim;

    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedCommandLine parsed = parseCommandLine(args);
    if (parsed.action == ParsedCommandLine::Action::kShowHelp) {
        std::fputs(helpText().c_str(), stdout);
        return kExitMatch;
    }
    if (parsed.action == ParsedCommandLine::Action::kReject) {
        std::fprintf(stderr, "qelp-device-simulator: %s (see --help)\n", parsed.error.c_str());
        return kExitBadArguments;
    }
    const Options& options = parsed.options;

    std::optional<std::vector<std::uint8_t>> data;
    if (!options.dataFile.empty()) {
        data = readWholeFile(options.dataFile);
        if (!data) {
            std::fprintf(stderr, "qelp-device-simulator: cannot read %s: %s\n",
                         options.dataFile.c_str(), std::strerror(errno));
            return kExitBadArguments;
        }
    }

    try {
        StopSignal stop;
        PtyDevice pty(stop.fd());
        std::optional<SlaveLink> link;
        if (!options.linkPath.empty()) link.emplace(options.linkPath, pty.slavePath());

        Transcript transcript(stdout);
        transcript.line(pty.slavePath());
        DeviceSession session(options, std::move(data), pty, transcript);
        return session.run();
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "qelp-device-simulator: %s\n", error.what());
        return kExitProblem;
    }
}

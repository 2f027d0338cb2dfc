// qelp-device-simulator: plays QELP devices on pseudo-terminals, one after the other on each
// port, the ports side by side. See --help, port_line.h for a port's row and device_session.h for
// the course of one device.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "simulator/options.h"
#include "simulator/port_line.h"
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
        OutputLines out(stdout);
        const auto epoch = PortLine::Clock::now();
        const std::size_t count = portCount(options);
        std::vector<std::unique_ptr<PortLine>> ports;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string link = options.linkPaths.empty() ? "" : options.linkPaths[i];
            const std::string prefix = count > 1 ? "[" + std::to_string(i + 1) + "] " : "";
            ports.push_back(std::make_unique<PortLine>(options, data ? &*data : nullptr, link,
                                                       stop.fd(), Transcript(out, prefix), epoch));
        }
        for (const auto& port : ports) out.line(port->ptyPath());

        std::vector<int> exitCodes(count, kExitProblem);
        {
            std::vector<std::jthread> threads;
            for (std::size_t i = 0; i < count; ++i) {
                threads.emplace_back([&ports, &exitCodes, i] { exitCodes[i] = ports[i]->run(); });
            }
        }
        const bool allMatched = std::all_of(exitCodes.begin(), exitCodes.end(),
                                            [](int code) { return code == kExitMatch; });
        return allMatched ? kExitMatch : kExitProblem;
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "qelp-device-simulator: %s\n", error.what());
        return kExitProblem;
    }
}

#include "cli/cli_device.h"

#include <algorithm>
#include <stdexcept>

namespace cli_test {

CliDevice::CliDevice(std::vector<std::string> args) {
    if (std::find(args.begin(), args.end(), "--boot-delay-ms") == args.end()) {
        args.insert(args.end(), {"--boot-delay-ms", "5"});
    }
    // Only a safety net: every run closes the port long before.
    args.insert(args.end(), {"--linger-ms", "30000"});
    process_ = std::make_unique<SimulatorProcess>(args);
    const auto path = process_->readLine();
    if (!path || path->empty()) throw std::runtime_error("the simulator printed no terminal path");
    path_ = *path;
}

bool CliDevice::WaitForLine(const std::string& prefix) {
    while (auto line = process_->readLine()) {
        seen_ += *line + "\n";
        if (line->starts_with(prefix)) return true;
    }
    return false;
}

DeviceEnd CliDevice::Finish() {
    DeviceEnd end;
    end.exitCode = process_->waitForExit();
    end.transcript = seen_ + process_->restOfTranscript();
    return end;
}

std::optional<long> NumberAfter(const std::string& text, const std::string& label) {
    const auto at = text.find(label);
    if (at == std::string::npos) return std::nullopt;
    std::size_t digits = at + label.size();
    std::size_t end = digits;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end == digits) return std::nullopt;
    return std::stol(text.substr(digits, end - digits));
}

}  // namespace cli_test

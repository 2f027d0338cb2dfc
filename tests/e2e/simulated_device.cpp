#include "e2e/simulated_device.h"

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <stdexcept>

#include "tools/simulator_process.h"

namespace e2e {
namespace {

bool Has(const std::vector<std::string>& args, const std::string& option) {
    return std::find(args.begin(), args.end(), option) != args.end();
}

}  // namespace

SimulatedDevice::SimulatedDevice(std::vector<std::string> args, int comNumber)
    : variable_(comNumber > 0 ? "QELPUPD_COM" + std::to_string(comNumber) : "") {
    if (!Has(args, "--boot-delay-ms")) args.insert(args.end(), {"--boot-delay-ms", "5"});
    // Only a safety net: every run closes the port long before.
    if (!Has(args, "--linger-ms")) args.insert(args.end(), {"--linger-ms", "60000"});
    process_ = std::make_unique<SimulatorProcess>(args);
    const auto path = process_->readLine();
    if (!path || path->empty()) throw std::runtime_error("the simulator printed no terminal path");
    slavePath_ = *path;
    if (!variable_.empty()) setenv(variable_.c_str(), slavePath_.c_str(), 1);
}

SimulatedDevice::~SimulatedDevice() {
    if (!variable_.empty()) unsetenv(variable_.c_str());
}

DeviceReport SimulatedDevice::Finish() {
    DeviceReport report;
    report.exitCode = process_->waitForExit();
    report.transcript = process_->restOfTranscript();
    return report;
}

DeviceReport SimulatedDevice::Stop() {
    process_->signal(SIGTERM);
    return Finish();
}

}  // namespace e2e

#include "serial/port_map.h"

#include <cstdlib>
#include <filesystem>

namespace {

// The n of "COMn" (1 to 999, no leading zero), or 0.
int ComNumber(const std::string& name) {
    if (name.size() <= 3 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0' ||
        name.find_first_not_of("0123456789", 3) != std::string::npos) {
        return 0;
    }
    return std::stoi(name.substr(3));
}

// A device as the operator knows it: Windows' device namespace prefix "\\.\" says nothing to
// people ("COM5", not "\\.\COM5").
std::string ShownPath(const std::string& devicePath) {
    const std::string deviceNamespace = "\\\\.\\";
    return devicePath.compare(0, deviceNamespace.size(), deviceNamespace) == 0
               ? devicePath.substr(deviceNamespace.size())
               : devicePath;
}

const char* FromEnvironment(const std::string& variable) {
    if (variable.empty()) return nullptr;
    const char* value = std::getenv(variable.c_str());
    return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace

std::string PortMapping::Label() const {
    const std::string shown = ShownPath(devicePath);
    return description.empty() ? shown : shown + " \u2014 " + description;
}

std::string PortVariable(const std::string& name) {
    return ComNumber(name) > 0 ? "QELPUPD_" + name : std::string();
}

PortMapping MapPort(const std::string& name, const std::vector<SerialPortInfo>& found) {
    const int number = ComNumber(name);
    if (number == 0) return {name, name, {}};
    const std::string variable = PortVariable(name);
    if (const char* value = FromEnvironment(variable)) {
        const std::string named = DevicePathForPortName(value);
        std::string description = "set by " + variable;
        // The variable may well name a port that discovery found: say what it is as well.
        for (const SerialPortInfo& port : found) {
            std::error_code error;
            if (port.devicePath == named || port.stableName == named ||
                std::filesystem::equivalent(named, port.devicePath, error)) {
                description = port.description + " (" + description + ")";
                break;
            }
        }
        return {name, named, description};
    }
    if (static_cast<std::size_t>(number) <= found.size()) {
        const SerialPortInfo& port = found[static_cast<std::size_t>(number) - 1];
        return {name, port.devicePath, port.description};
    }
    return {name, FallbackDevicePath(number), "no serial port found for " + name};
}

PortMapping MapPort(const std::string& name, const SystemRoots& roots) {
    if (ComNumber(name) == 0 || FromEnvironment(PortVariable(name)) != nullptr) {
        return MapPort(name, std::vector<SerialPortInfo>{});
    }
    return MapPort(name, DiscoverSerialPorts(roots));
}

std::vector<PortMapping> MapOfferedPorts(const std::vector<SerialPortInfo>& found, int count) {
    std::vector<PortMapping> offered;
    for (int n = 1; n <= count; ++n) offered.push_back(MapPort("COM" + std::to_string(n), found));
    return offered;
}

std::string FormatPortListing(const std::vector<PortMapping>& offered,
                              const std::vector<SerialPortInfo>& found) {
    std::string text;
    for (const PortMapping& port : offered) text += port.name + ": " + port.Label() + "\n";
    text += found.empty() ? "No serial ports found.\n" : "Serial ports found, in order:\n";
    for (const SerialPortInfo& port : found) {
        text += "  " + ShownPath(port.devicePath);
        if (!port.description.empty()) text += " \u2014 " + port.description;
        if (!port.stableName.empty()) text += "\n      " + port.stableName;
        text += "\n";
    }
    return text;
}

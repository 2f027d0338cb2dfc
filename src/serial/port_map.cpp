#include "serial/port_map.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace {

const std::string kDeviceNamespace = "\\\\.\\";

// A device as the operator knows it: Windows' device namespace prefix "\\.\" says nothing to
// people ("COM5", not "\\.\COM5").
std::string ShownPath(const std::string& devicePath) {
    return devicePath.compare(0, kDeviceNamespace.size(), kDeviceNamespace) == 0
               ? devicePath.substr(kDeviceNamespace.size())
               : devicePath;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The name as the record and the messages give it: COM names in capitals.
std::string CanonicalName(const std::string& name, PortNaming naming) {
    const int number = ComNumber(name, naming);
    return number > 0 ? "COM" + std::to_string(number) : name;
}

// Where a named device opens. On Windows a bare name is a device ("COM13", "CNCB0"): a plain
// "CNCB0" would open a file of that name in the current folder.
std::string DevicePathFor(const std::string& name, PortNaming naming) {
    if (naming != PortNaming::kWindows || name.find_first_of("\\/:") != std::string::npos)
        return name;
    return kDeviceNamespace + CanonicalName(name, naming);
}

// The port of the system's list that `name` names (Windows), or nullptr.
const SerialPortInfo* ListedPort(const std::string& name, const std::vector<SerialPortInfo>& found,
                                 PortNaming naming) {
    if (naming != PortNaming::kWindows) return nullptr;
    for (const SerialPortInfo& port : found) {
        if (Upper(port.name) == Upper(name) || Upper(port.devicePath) == Upper(name)) return &port;
    }
    return nullptr;
}

std::string Describe(const SerialPortInfo& port) {
    return port.skipped.empty() ? port.description : port.description + ", " + port.skipped;
}

// The device the environment names for COMn.
PortMapping Named(const std::string& name, const std::string& value,
                  const std::vector<SerialPortInfo>& found, PortNaming naming) {
    const std::string why = "set by " + PortVariable(name, naming);
    if (const SerialPortInfo* port = ListedPort(value, found, naming))
        return {name, port->devicePath, Describe(*port) + " (" + why + ")"};
    const std::string named = DevicePathFor(value, naming);
    // The variable may well name a port that discovery found: say what it is as well.
    for (const SerialPortInfo& port : found) {
        std::error_code error;
        if (port.devicePath == named || port.stableName == named ||
            std::filesystem::equivalent(named, port.devicePath, error)) {
            return {name, named, Describe(port) + " (" + why + ")"};
        }
    }
    return {name, named, why};
}

// COMn stands for a port found by place: every COMn on Linux, COM1 and COM2 on Windows.
bool ByPlace(int number, PortNaming naming) {
    return number > 0 && (naming != PortNaming::kWindows || number <= kOfferedPorts);
}

// A port the system lists under the name of an offered COMn denotes that port itself.
bool OwnsOfferedName(const SerialPortInfo& port, PortNaming naming) {
    return naming == PortNaming::kWindows && port.skipped.empty() &&
           ByPlace(ComNumber(port.name, naming), naming);
}

PortMapping ByPlaceAmongFound(const std::string& name, int number,
                              const std::vector<SerialPortInfo>& found, PortNaming naming) {
    // The names by place before this one take the first free ports, one each.
    int place = 0;
    for (int m = 1; m < number; ++m) {
        const std::string other = "COM" + std::to_string(m);
        const SerialPortInfo* listed = ListedPort(other, found, naming);
        if (!listed || !OwnsOfferedName(*listed, naming)) ++place;
    }
    for (const SerialPortInfo& port : found) {
        if (!port.skipped.empty() || OwnsOfferedName(port, naming)) continue;
        if (place-- == 0) return {name, port.devicePath, port.description};
    }
    const std::string fallback = naming == PortNaming::kWindows
                                     ? kDeviceNamespace + name
                                     : "/dev/ttyS" + std::to_string(number - 1);
    return {name, fallback, "no serial port found for " + name};
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

std::string PortVariable(const std::string& name, PortNaming naming) {
    const int number = ComNumber(name, naming);
    return number > 0 ? "QELPUPD_COM" + std::to_string(number) : std::string();
}

PortMapping MapPortName(const std::string& name, const std::string& variable,
                        const std::vector<SerialPortInfo>& found, PortNaming naming) {
    const int number = ComNumber(name, naming);
    const std::string canonical = CanonicalName(name, naming);
    if (number > 0 && !variable.empty()) return Named(canonical, variable, found, naming);
    // A Bluetooth link or a modem listed as COM1 is no more COM1 than an unlisted one.
    if (const SerialPortInfo* port = ListedPort(name, found, naming);
        port && !(!port->skipped.empty() && ByPlace(number, naming))) {
        return {CanonicalName(port->name, naming), port->devicePath, Describe(*port)};
    }
    if (ByPlace(number, naming)) return ByPlaceAmongFound(canonical, number, found, naming);
    if (number > 0) return {canonical, DevicePathFor(canonical, naming), "not listed by Windows"};
    return {name, DevicePathFor(name, naming), {}};
}

PortMapping MapPort(const std::string& name, const std::vector<SerialPortInfo>& found) {
    const char* value = FromEnvironment(PortVariable(name));
    return MapPortName(name, value ? value : "", found, SystemPortNaming());
}

bool MappingNeedsDiscovery(const std::string& name) {
    if (FromEnvironment(PortVariable(name)) != nullptr) return false;
    const PortNaming naming = SystemPortNaming();
    return naming == PortNaming::kWindows || ComNumber(name, naming) > 0;
}

PortMapping MapPort(const std::string& name, const SystemRoots& roots) {
    if (!MappingNeedsDiscovery(name)) return MapPort(name, std::vector<SerialPortInfo>{});
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
    std::string ports;
    std::string skipped;
    for (const SerialPortInfo& port : found) {
        std::string line = "  " + ShownPath(port.devicePath);
        if (!port.description.empty()) line += " \u2014 " + Describe(port);
        if (!port.stableName.empty()) line += "\n      " + port.stableName;
        (port.skipped.empty() ? ports : skipped) += line + "\n";
    }
    text += ports.empty() ? "No serial ports found.\n" : "Serial ports found, in order:\n" + ports;
    if (!skipped.empty()) text += "Skipped, never COM1 or COM2:\n" + skipped;
    return text;
}

std::string ListSystemPorts() {
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts();
    return FormatPortListing(MapOfferedPorts(found), found);
}

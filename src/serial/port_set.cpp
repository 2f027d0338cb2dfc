#include "serial/port_set.h"

#include <optional>
#include <set>

#include "serial/port_map.h"

std::string PortIdentity(const SerialPortInfo& port) {
    return port.stableName.empty() ? port.devicePath : port.stableName;
}

PortSetDiff DiffPortSets(const std::vector<SerialPortInfo>& before,
                         const std::vector<SerialPortInfo>& after) {
    std::set<std::string> earlier;
    for (const SerialPortInfo& port : before) earlier.insert(PortIdentity(port));
    std::set<std::string> later;
    PortSetDiff diff;
    for (const SerialPortInfo& port : after) {
        const std::string identity = PortIdentity(port);
        if (!later.insert(identity).second) continue;
        (earlier.count(identity) != 0 ? diff.unchanged : diff.appeared).push_back(port);
    }
    for (const SerialPortInfo& port : before) {
        // insert(): a port listed twice goes once.
        if (later.insert(PortIdentity(port)).second) diff.vanished.push_back(port);
    }
    return diff;
}

std::vector<SerialPortInfo> ScanNamedPorts(const std::vector<std::string>& names) {
    std::vector<SerialPortInfo> present;
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (!seen.insert(name).second) continue;
        const std::string devicePath = MapPortName(name, "", {}, SystemPortNaming()).devicePath;
        const std::optional<std::string> target = ResolvePortName(devicePath);
        if (!target) continue;
        // Shown to the operator, as discovery's descriptions are.
        const std::string description =
            WithoutControlCharacters(*target == devicePath ? std::string() : *target);
        // Named by the operator: never skipped.
        present.push_back({name, devicePath, name, description, std::string()});
    }
    return present;
}

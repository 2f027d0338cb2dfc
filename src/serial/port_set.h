// Which ports came, went or stayed between two scans, and the scan of the ports an operator named.
// Pure work over scans (port_discovery.h); what wakes the next scan is port_monitor.h.
//
// A port is known by its stable identity, so that an adapter that comes back is the same port
// again: on Linux its /dev/serial/by-path name (the socket it is plugged into), else its by-id
// name (the adapter's serial number), else its device path (a built-in UART); on Windows its COM
// name, in the device path that stands for it (\\.\COM5). A port the operator named is known by
// the name as given.
//
// No state; any thread.
#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"

// The key under which `port` is the same port again.
std::string PortIdentity(const SerialPortInfo& port);

struct PortSetDiff {
    std::vector<SerialPortInfo> appeared;  // in the later scan only, in its order
    std::vector<SerialPortInfo> vanished;  // in the earlier scan only, in its order
    // In both, as the later scan has them (the device behind may differ: another adapter in the
    // same socket, or one pulled and plugged back between the scans, whose open port then saw a
    // hang-up).
    std::vector<SerialPortInfo> unchanged;
};

PortSetDiff DiffPortSets(const std::vector<SerialPortInfo>& before,
                         const std::vector<SerialPortInfo>& after);

// The named ports that are present, in the order given, each once: the name exists and resolves
// (a link whose target has gone is absent). Each is keyed by its name; `description` says what it
// resolves to ("/dev/ttyUSB0") where that is another name.
std::vector<SerialPortInfo> ScanNamedPorts(const std::vector<std::string>& names);

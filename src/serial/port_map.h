// Which device a port name such as "COM1" denotes.
//
//   1. QELPUPD_COMn, when set and not empty, names the device; it always wins.
//   2. Otherwise COMn is the n-th serial port that discovery finds (port_discovery.h): COM1 the
//      first, COM2 the second.
//   3. Where fewer ports exist, COMn is /dev/ttyS(n-1) (\\.\COMn on Windows), so that a failed
//      open still names a port.
//
// The program computes the mapping once, as the port dialog opens; the dialog describes each
// entry and the chosen entry goes to CCommPort unchanged, so the device opened is the one the
// operator was shown. A name that is no COM name maps to itself (a device path).
//
// No Qt; reads the environment. Any thread, as long as nothing changes the environment meanwhile.
#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"

// The number of ports the port dialog offers.
inline constexpr int kOfferedPorts = 2;

struct PortMapping {
    std::string name;        // "COM1"
    std::string devicePath;  // what is opened: "/dev/ttyUSB0", "\\.\COM5"
    // What it is ("FTDI FT232R USB UART, serial A9XYZ"), or why this device was taken.
    std::string description;

    // "/dev/ttyUSB0 — FTDI FT232R USB UART, serial A9XYZ", "COM5 — USB Serial Port (FTDI)": the
    // device and what it is, as one line.
    std::string Label() const;
};

// The environment variable that names the device of `name`: "QELPUPD_COM1"; empty for a name
// that is no COM name.
std::string PortVariable(const std::string& name);

// The mapping of one name among the ports found (in discovery's order).
PortMapping MapPort(const std::string& name, const std::vector<SerialPortInfo>& found);
// The same, discovering the system's ports only when the environment does not name the device.
PortMapping MapPort(const std::string& name, const SystemRoots& roots = {});

// COM1 .. COM<count> among the ports found.
std::vector<PortMapping> MapOfferedPorts(const std::vector<SerialPortInfo>& found,
                                         int count = kOfferedPorts);

// The listing for the operator: the offered ports' mapping, then every port found, in order, one
// line each.
std::string FormatPortListing(const std::vector<PortMapping>& offered,
                              const std::vector<SerialPortInfo>& found);

// Which device a port name such as "COM1" denotes, among the ports discovery found
// (port_discovery.h), by the system's way of naming ports (port_scan.h):
//
//   1. QELPUPD_COMn, when set and not empty, names the device of COMn; it always wins. Its value
//      is taken by rules 2 and 4.
//   2. Windows: a name that Windows lists is that port, in any letter case ("com7" is COM7), and
//      opens as \\.\COM7; so does a listed name that is no COM name ("CNCA0").
//   3. COM1 and COM2 that Windows does not list - and on Linux every COMn, since Linux ports have
//      no COM names - stand for the ports found that no other name already denotes, in order:
//      with an adapter on COM5 alone, COM1 is COM5; with COM1 listed and COM5, COM2 is COM5.
//      Ports marked as skipped (Bluetooth links, modems) are never among them. Where too few
//      ports are left, COMn is /dev/ttyS(n-1) on Linux and \\.\COMn on Windows, so that a failed
//      open still names a port.
//   4. Any other name is a device: on Linux its path; on Windows a bare name ("COM13", "CNCB0")
//      opens in the device namespace, never as a file of the current folder, and a path as is.
//
// The program computes the mapping once, as the port dialog opens; the dialog describes each
// entry and the chosen entry goes to CCommPort unchanged, so the device opened is the one the
// operator was shown. The record keeps the entry's name and device.
//
// No Qt. MapPortName is a pure function; the others read the environment or the system: any
// thread, as long as nothing changes the environment meanwhile.
#pragma once

#include <string>
#include <vector>

#include "serial/port_discovery.h"

// The number of ports the port dialog offers.
inline constexpr int kOfferedPorts = 2;

struct PortMapping {
    std::string name;        // "COM1", "COM7" (for "com7"), "/dev/ttyUSB0"
    std::string devicePath;  // what is opened: "/dev/ttyUSB0", "\\.\COM5"
    // What it is ("FTDI FT232R USB UART, serial A9XYZ"), or why this device was taken.
    std::string description;

    // "/dev/ttyUSB0 — FTDI FT232R USB UART, serial A9XYZ", "COM5 — USB Serial Port (FTDI)": the
    // device and what it is, as one line.
    std::string Label() const;
};

// The environment variable that names the device of `name`: "QELPUPD_COM1"; empty for a name
// that is no COM name.
std::string PortVariable(const std::string& name, PortNaming naming = SystemPortNaming());

// The rules above for one name: `variable` is the value of its QELPUPD_COMn (empty: unset),
// `found` the ports discovery found, in its order.
PortMapping MapPortName(const std::string& name, const std::string& variable,
                        const std::vector<SerialPortInfo>& found, PortNaming naming);

// The mapping of one name among the ports found, with the environment's say.
PortMapping MapPort(const std::string& name, const std::vector<SerialPortInfo>& found);
// The same, discovering the system's ports only when the mapping looks at them.
PortMapping MapPort(const std::string& name, const SystemRoots& roots = {});
// Whether mapping `name` looks at the system's ports: on Windows any name, elsewhere COMn taken by
// place; never a COMn that the environment names.
bool MappingNeedsDiscovery(const std::string& name);

// COM1 .. COM<count> among the ports found.
std::vector<PortMapping> MapOfferedPorts(const std::vector<SerialPortInfo>& found,
                                         int count = kOfferedPorts);

// The listing for the operator: the offered ports' mapping, every port found, in order, one line
// each, and those skipped.
std::string FormatPortListing(const std::vector<PortMapping>& offered,
                              const std::vector<SerialPortInfo>& found);

// The listing of the system's ports now: what --list-ports prints.
std::string ListSystemPorts();

// The operating-system side of serial port discovery (port_discovery.h): what the system says about
// each terminal device, read without opening any of them where the system allows. The build picks
// the implementation: posix_port_scan.cpp on Linux, which reads sysfs and /dev under the roots
// given, so that tests can point it at a fake tree laid out like the real one; win32_port_scan.cpp
// on Windows, which reads the registry's list of serial ports and SetupAPI's names for them (the
// roots mean nothing there).
//
// Thread contract: no shared state; any thread may scan at any time.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Where the system's device trees are (Linux); tests point these at a fake tree.
struct SystemRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
};

// What the system says about one terminal device (an entry of <sysfs>/class/tty, or of Windows'
// list of serial ports).
struct TtyFacts {
    std::string name;        // "ttyUSB0", "COM5"
    std::string devicePath;  // "<dev>/ttyUSB0", "\\.\COM5"
    // Hardware stands behind the terminal (its sysfs entry has a device); virtual consoles,
    // ptmx and the like have none.
    bool hasDevice = false;
    // The driver and bus of the hardware: "serial8250"/"platform", "ftdi_sio"/"usb-serial",
    // "cdc_acm"/"usb". For a port of the serial core's own bus ("serial-base", newer kernels) these
    // are the controller's above it ("serial"/"pnp" for a PC's COM port).
    std::string driver;
    std::string bus;
    // A port of the kernel's serial core (a UART): its type as TIOCGSERIAL reports it, 0 when the
    // driver knows of no hardware there (the placeholders ttyS1-3 of a PC without them). Empty for
    // other terminals.
    std::optional<int> uartType;
    // The USB device above the terminal, when there is one: its descriptor strings and ids.
    bool onUsb = false;
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::string vendorId;
    std::string productId;
    // Stable names that udev made for the device: the first by natural order of each of
    // <dev>/serial/by-path and <dev>/serial/by-id, as full paths; empty when there is none.
    std::string byPath;
    std::string byId;
    // Windows keeps the list of its serial ports itself (HARDWARE\DEVICEMAP\SERIALCOMM): an entry
    // of it is a port, whatever else is known. For such a port `driver` holds the driver's device
    // object ("\Device\VCP0", "\Device\BthModem0"), and SetupAPI adds, where it knows the port:
    // the Device Manager's name of it ("USB Serial Port (COM5)"), its maker (in `manufacturer`,
    // "FTDI"), its device class ("Ports", "Modem") and the enumerator that found it ("FTDIBUS",
    // "USB", "BTHENUM").
    bool listedBySystem = false;
    std::string friendlyName;
    std::string deviceClass;
    std::string enumerator;
};

// Every entry of <sysfs>/class/tty, in no particular order. Nothing found (no such directory)
// gives an empty list.
//
// The UART type comes from the port's sysfs "type" attribute, which the serial core has exposed
// for many years and which reads without opening the device. Opening a port raises DTR and RTS,
// which resets some attached devices (boards that reboot on DTR), so the device is opened for
// TIOCGSERIAL only when the attribute is missing; a port that cannot be opened then counts as
// type 0 (placeholders fail to open with EIO).
std::vector<TtyFacts> ScanTtys(const SystemRoots& roots);

// The UART type by TIOCGSERIAL on the device itself; empty when the device cannot be opened or
// refuses the call (always on Windows). Opens the device (see above).
std::optional<int> UartTypeByIoctl(const std::string& devicePath);

// How the system names its serial ports; port_map.h applies it.
enum class PortNaming {
    kDevicePaths,  // Linux: a port is named by its device path; no port has a COM name
    kWindows,      // Windows: by its own names ("COM5", "CNCA0") in any letter case, each opened
                   // in the device namespace (\\.\COM5)
};

PortNaming SystemPortNaming();

// What a port's name or device path resolves to; empty when nothing answers to it now. On Linux
// the path with every link followed (a link whose target has gone resolves to nothing); on Windows
// the device a COM name stands for, as QueryDosDevice tells it ("\Device\Serial0"), or else as
// the system's list of ports does.
std::optional<std::string> ResolvePortName(const std::string& devicePath);

// Serial port discovery: which of the system's terminal devices are serial ports an operator can
// plug a cable into, in a stable order, each with a line that says what it is.
//
// Kept: UARTs of the kernel's serial core that have hardware behind them (a type the driver
// knows; the 8250 driver's placeholders, type 0, fail every open with EIO and are left out), USB
// serial adapters (usb-serial drivers such as ftdi_sio, and cdc_acm modems), and other terminals
// with a device and a driver. Left out: terminals without a device (virtual consoles, ptmx,
// pseudo-terminals).
//
// Order: the UARTs first, by name with numbers compared as numbers (ttyS0, ttyS1, ttyS10); then
// the others by their stable name: the /dev/serial/by-path name where udev made one (the socket
// the adapter is plugged into), else the by-id name, else the device name. So the same adapter in
// the same socket keeps its place, whatever order the kernel numbered the devices in.
//
// On Windows the system lists its serial ports itself: every port of that list is kept, those
// named COMn first by number (COM3 before COM10), then those of other names (virtual ports,
// multiport cards: "CNCA0"), each described by what the Device Manager calls it and its maker ("USB
// Serial Port (FTDI)"). Bluetooth links and modems are kept but marked as skipped: they are never
// what COM1 or COM2 stand for (an outgoing Bluetooth link blocks its open for seconds while it
// calls). They show by their device object ("\Device\BthModem0") or SetupAPI's facts (the
// enumerator BTHENUM, the class Modem or Bluetooth).
//
// Reads the system through port_scan.h; no Qt. Any thread.
#pragma once

#include <string>
#include <vector>

#include "serial/port_scan.h"

struct SerialPortInfo {
    std::string name;        // "ttyUSB0", "COM5"
    std::string devicePath;  // "/dev/ttyUSB0", "\\.\COM5"
    // The by-path or by-id name the order went by; empty when it went by the device name.
    std::string stableName;
    // What it is, for the operator: "FTDI FT232R USB UART, serial A9XYZ", "built-in serial port
    // (16550A UART)". Free of control characters: one in the adapter's strings shows as '?'.
    std::string description;
    // Why the port is never COM1 or COM2: "a Bluetooth link", "a modem"; empty for the others.
    std::string skipped;
};

// The serial ports among `ttys`, described and in order.
std::vector<SerialPortInfo> SelectSerialPorts(const std::vector<TtyFacts>& ttys);

// The system's serial ports, in order: SelectSerialPorts(ScanTtys(roots)).
std::vector<SerialPortInfo> DiscoverSerialPorts(const SystemRoots& roots = {});

// Compares text with runs of digits compared as numbers: "ttyS2" < "ttyS10".
bool NaturalLess(const std::string& a, const std::string& b);

// The n of "COMn" (1 to 999, no leading zero), or 0. Windows takes its names in any letter case
// ("com7"); elsewhere only "COM" counts.
int ComNumber(const std::string& name, PortNaming naming);

// `text` for a terminal: a control character shows as '?', as ls shows one in a file name, so
// that an adapter's strings cannot carry an escape sequence to the screen.
std::string WithoutControlCharacters(std::string text);

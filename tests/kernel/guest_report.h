// The checks of the kernel serial test: what the guest reported (serial_guest.cpp, "@@ key value"
// lines) and what the host's far ends received, against what the drivers must show.
//
// Pure: no descriptors, no clock. The host program (kernel_serial_host.cpp) runs it once the guest
// has powered off.
#pragma once

#include <map>
#include <string>
#include <vector>

// Key to value, from the guest's "@@ key value" lines.
using GuestReport = std::map<std::string, std::string>;

// What the host knows and saw.
struct HostFindings {
    std::string adapterSerial;  // the serial number QEMU gave the emulated FTDI adapter
    std::string fileBytes;      // the data file the guest sends to COM2
    std::string uartReceived;   // everything the UART's far end received
    std::string usbReceived;    // everything the adapter's far end received
};

// Adds "@@ key value" from one console line; other lines are ignored.
void ParseReportLine(const std::string& line, GuestReport& report);

// One line per mismatch; empty when everything is as the drivers must show it.
std::vector<std::string> CheckGuestReport(const GuestReport& report, const HostFindings& host);

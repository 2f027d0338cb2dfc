// OutputHold: which modem input holds a port's output back. The line settings ask for output
// flow control on CTS and DSR, so a cable or adapter without DSR, or a device that is not ready,
// holds every block until the write time-out; the port reads the lines while a block waits
// (comm_port.h) and says which one it is. Pure; any thread.
#pragma once

#include <string>

#include "serial/serial_device.h"

struct OutputHold {
    bool cts = false;  // CTS is low and the output waits for it
    bool dsr = false;  // DSR is low and the output waits for it

    bool Held() const { return cts || dsr; }
    bool operator==(const OutputHold&) const = default;
};

// A low line holds the output only where the port's output waits for it.
OutputHold HoldOf(const ModemLines& lines);

// "CTS low", "DSR low", "CTS and DSR low"; empty when nothing holds the output.
std::string DescribeHold(const OutputHold& hold);
// What is said of a hold while the block still waits ("a block waits: ..."), and at the end of
// the transfer that it ended ("the device held the output back: ...").
std::string HoldNote(const OutputHold& hold);
std::string HeldNote(const OutputHold& hold);

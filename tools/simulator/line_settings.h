#pragma once
// Describes the serial settings the tool gave the port, for the transcript, and says whether a
// real QELP device (19200 baud, 8 data bits, no parity, 1 stop bit, no XON/XOFF) could talk
// over them.

#include <termios.h>

#include <string>

namespace qelp::sim {

struct LineSettingsReport {
    std::string text;  // e.g. "19200 baud, 8N1, RTS/CTS"
    bool matchesDevice = false;
};

LineSettingsReport describeLineSettings(const termios& settings);

}  // namespace qelp::sim

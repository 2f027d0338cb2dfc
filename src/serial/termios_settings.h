// Maps the line settings that CCommPort applies onto a POSIX terminal's termios (POSIX builds
// only). Pure: no descriptor, so that every mapping can be checked in a table.
#pragma once

#include <termios.h>

#include "serial/device_control_block.h"

// The termios speed constant for a baud rate, or B0 when the platform has none for it.
speed_t SpeedForBaudRate(uint32_t baudRate);

// Puts `tio` into raw mode and applies speed, data bits, parity, stop bits, flow control and the
// XON/XOFF characters from `settings`; every other flag and control character keeps its value.
// False, with `tio` unchanged, when a setting has no termios equivalent (an unknown speed, 1.5 stop
// bits, a byte size other than 5 to 8, an unknown parity).
bool ApplyLineSettings(const DeviceControlBlock& settings, termios& tio);

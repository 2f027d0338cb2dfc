// The line settings of a DeviceControlBlock applied onto a Win32 DCB read from the port: the
// fields CCommPort sets (speed, data bits, parity, stop bits, the six flow-control bit fields,
// XON/XOFF characters and limits) are copied, and the fields that would alter binary data are set
// for a raw line, as termios_settings.h does on POSIX. Pure; Windows builds only.
#pragma once

#include "serial/win32_api.h"

// False when the settings cannot be applied (no speed, 4 data bits, ...); `dcb` is then unchanged.
bool ApplyLineSettings(const DeviceControlBlock& settings, DCB& dcb);

// The one place where Win32 error codes (GetLastError()) get a meaning for the serial layer
// (Windows builds only); the counterpart of posix_errors.h.
#pragma once

#include <string>

#include "serial/serial_device.h"

// An error from CreateFileW on a port, or from claiming it: busy, permission denied, no such
// device, or other. Windows refuses a second open of a COM port with ERROR_ACCESS_DENIED, so that
// means busy here.
DeviceFault OpenFault(unsigned long error);
// An error from I/O on an open port: the device went away (a hang-up, an unplugged adapter, a
// port closed under the call), or other.
DeviceFault IoFault(unsigned long error);

// The system's own words for an error code, in UTF-8, without the trailing line end.
std::string SystemMessage(unsigned long error);

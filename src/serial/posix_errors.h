// The one place where errno values get a meaning for the serial layer (POSIX builds only).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "serial/serial_device.h"

// errno from open(), flock() or TIOCEXCL: busy, permission denied, no such device, or other.
DeviceFault OpenFault(int error);
// errno from I/O on an open port: would block, the device went away, or other.
DeviceFault IoFault(int error);

// Processes that hold the character device `path` open, with their command names, as /proc shows
// them (what a user without the right to look at other processes sees is a shorter list).
struct DeviceHolder {
    pid_t pid;
    std::string command;
};
std::vector<DeviceHolder> FindDeviceHolders(const std::string& path);

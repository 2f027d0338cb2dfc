// SerialDevice: the operating-system side of a serial port, kept small so that CCommPort
// (comm_port.h) holds the logic and does no system calls itself. The build picks one implementation
// file: posix_device.cpp on Linux, win32_device.cpp on Windows. MakeSerialDevice() returns that
// implementation; tests may hand CCommPort another one (a recording wrapper, or a fake for what a
// pseudo-terminal cannot do).
//
// Thread contract (as CCommPort and the port watcher use it):
//   - Open, Configure, Purge, SetDtr, ReadModemLines, Write, OutputQueued, WaitObject and Close run
//     on the thread that owns the port; Close only once the port watcher has ended.
//   - WaitReadable and Read run on the port watcher thread, at the same time as Write and friends.
//   - Wake may be called from any thread while the device is open.
#pragma once

#include <memory>
#include <string>

#include "serial/device_control_block.h"
#include "serial/port_wait_object.h"

// What a failed call means to the caller. The backend maps its error codes onto these in one place.
enum class DeviceFault {
    kNone,
    kWouldBlock,        // non-blocking I/O: try again once the device is ready
    kBusy,              // another program (or another port object) holds the device
    kPermissionDenied,  // the user may not open the device
    kNoSuchDevice,      // there is no device by that name
    kGone,              // the device went away: hang-up, unplugged adapter, closed peer
    kStuck,             // the driver did not end a cancelled call in time: the call was given up
    kOther,
};

// The result of one device call: a count on success, or the failing system call and its error code.
struct DeviceStatus {
    long count = 0;
    DeviceFault fault = DeviceFault::kNone;
    const char* call = "";  // the system call that failed, for messages
    int error = 0;  // its error code (errno on POSIX, GetLastError() on Windows); 0 for none

    bool ok() const { return fault == DeviceFault::kNone; }
};

// The modem-status inputs that can hold the port's output back, and whether the port's output
// waits for each, as the system applied the settings (Linux has no flow control on DSR).
struct ModemLines {
    bool cts = false;  // Clear To Send is high
    bool dsr = false;  // Data Set Ready is high
    bool outputWaitsForCts = false;
    bool outputWaitsForDsr = false;
};

enum class WaitResult {
    kReadable,  // bytes are waiting
    kWoken,     // Wake() was called
    kHungUp,    // the device went away (or can no longer be waited on); bytes may still be waiting
};

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Opens the device for exclusive use. On failure nothing stays open.
    virtual DeviceStatus Open(const std::string& path) = 0;
    virtual bool IsOpen() const = 0;
    // Reads the port's current line settings, overwrites those that CCommPort sets (speed, data
    // bits, parity, stop bits, the six flow-control bit fields, XON/XOFF characters and limits)
    // from `settings`, and writes the result back. Everything else stays as the port reported it.
    virtual DeviceStatus Configure(const DeviceControlBlock& settings) = 0;
    // Clears the input queue, dropping unread bytes, and with `output` the output queue too,
    // dropping unsent ones.
    virtual DeviceStatus Purge(bool output) = 0;
    virtual DeviceStatus SetDtr(bool raised) = 0;
    // Reads the modem-status inputs. Fails where the port has none (a pseudo-terminal, Wine's
    // ports on one).
    virtual DeviceStatus ReadModemLines(ModemLines& lines) = 0;
    // Writes what fits now, never waiting; count = bytes taken. kWouldBlock when none fit.
    virtual DeviceStatus Write(const void* data, long length) = 0;
    // What signals that Write can take bytes again, for the port's waiter (port_waiter.h): the
    // descriptor turning writable, or the write in flight completing; kNoWaitObject when there is
    // none (the waiter then waits for its time-out).
    virtual PortWaitObject WaitObject() const = 0;
    // Bytes written but not yet sent on the line.
    virtual DeviceStatus OutputQueued() = 0;
    // Closes the device. kStuck when a call since Open had to be given up because the driver never
    // ended it, even cancelled (`call` names it); the port is closed all the same.
    virtual DeviceStatus Close() = 0;

    // Port watcher: blocks until bytes are waiting, Wake() is called, or the device goes away.
    virtual WaitResult WaitReadable() = 0;
    // Port watcher: reads what is waiting, at most `maximum` bytes, never waiting. count 0: nothing
    // was waiting; kGone: the device went away.
    virtual DeviceStatus Read(void* destination, long maximum) = 0;
    // Any thread: ends the current WaitReadable, and every later one, with kWoken until Close.
    virtual void Wake() = 0;
};

std::unique_ptr<SerialDevice> MakeSerialDevice();

// One line for the user on why Open failed: the device (and what it is, when `description` says),
// the failing call, the error code and a reason.
std::string DescribeOpenError(const std::string& path, const std::string& description,
                              const DeviceStatus& status);

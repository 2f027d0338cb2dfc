// CCommPort: the program's one serial port. It holds the line settings (the DeviceControlBlock
// fields it inherits), opens a port by name with them, starts the port watcher (port_watcher.h)
// that fills the ReceiveBuffer, writes blocks, and closes the port again.
//
// Calling order: construct, set BaudRate (UPDATE_BAUD for the update), OpenPort, any number of
// WriteBlock, ClosePort or destruction. One successful OpenPort per object.
//
// WriteBlock waits through a PortWaiter (port_waiter.h): by default a plain wait, or the one
// SetWaiter hands in. A waiter that serves events while it waits lets handlers run inside
// WriteBlock: a WriteBlock from there returns 0 at once (it would cut into the block in progress),
// and a ClosePort from there ends the wait and the write with 0, unless FinishBlock let the block
// go out first. The port must not be destroyed from inside its own WriteBlock.
//
// A block that has not gone out after a third of the write time-out (3.3 s of the 10 s) makes the
// port read the modem lines, and again after each further third and at the time-out: the hold
// report hears which input holds the output back (CTS, DSR or both low) whenever that changes while
// the write still waits, and LastWriteHold() keeps what held it last. A port without modem lines (a
// pseudo-terminal) says nothing.
//
// Thread contract: every member function runs on the thread that owns the port (the UI thread),
// except Buffer() (its own contract, receive_buffer.h) and State()'s atomics, which any thread may
// use. The port watcher runs from a successful OpenPort until ClosePort or destruction, which wake
// and join it before the port's device is closed and before the buffer is freed, or until the
// device goes away (then the buffer's input has ended).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/comm_state.h"
#include "serial/device_control_block.h"
#include "serial/output_hold.h"
#include "serial/port_map.h"
#include "serial/port_waiter.h"
#include "serial/receive_buffer.h"

inline constexpr uint32_t UPDATE_BAUD = 19200;

// Why the last WriteBlock returned 0: a block cut short by the time-out, by a device error or by
// the device going away are different ends for whoever reports the transfer.
enum class WriteFailure {
    kNone,         // every byte went out
    kTimedOut,     // the write time-out ended it: no room on the line, or the queue did not drain
    kDeviceError,  // a write or a query of the device failed
    kGone,         // the device went away (hang-up, unplugged adapter)
};

class CCommPort : public DeviceControlBlock {
  public:
    CCommPort();
    // For tests: a port over another device (a recording wrapper or a fake).
    explicit CCommPort(std::unique_ptr<SerialDevice> device);
    ~CCommPort();
    CCommPort(const CCommPort&) = delete;
    CCommPort& operator=(const CCommPort&) = delete;

    // Opens the mapping entry's device exclusively, applies the line settings, starts the port
    // watcher and raises DTR. Nonzero on success; 0 with nothing left open on failure. The entry's
    // description goes into DescribeOpenFailure().
    int OpenPort(const PortMapping& port);
    // The same for the device that "COM1", "COM2", ... denotes now (port_map.h).
    int OpenPort(const char* name);
    // Applies the line settings onto the open port's current ones. Nonzero on success.
    int ApplySettings();
    // Writes a block and waits until it has left the computer (the output queue drained). Nonzero
    // when all of it went out; 0 when the write failed, the device went away, or the write time-out
    // ended it before every byte was sent: a block with a hole must stop the transfer.
    int WriteBlock(const void* data, uint32_t length);
    // What ended the last WriteBlock; kNone when it returned nonzero.
    WriteFailure LastWriteFailure() const;
    // What held back the last WriteBlock's block when the modem lines were last read; nothing
    // when they were not read (the block went out in time, or the port has no modem lines).
    OutputHold LastWriteHold() const;
    // Hears a hold as the modem lines show it, while the write waits (from inside WriteBlock).
    // Empty: no reports.
    void SetHoldReport(std::function<void(const OutputHold&)> report);
    // From a handler that a WriteBlock's wait served and that must close the port before it
    // returns: lets the block under way go out whole, sleeping (nothing is served meanwhile) until
    // its write deadline or `limit`, whichever comes first; at once when the modem lines hold it
    // back. True when no block was under way or it went out whole: that WriteBlock then returns
    // nonzero, and a ClosePort drops nothing of it.
    bool FinishBlock(std::chrono::milliseconds limit);
    // A WriteBlock is under way: the caller is a handler that its wait served.
    bool Writing() const { return writing_; }
    // Stops the watcher, drops DTR, purges the input queue (and the output queue after a write that
    // did not drain) and closes the port. Returns 1.
    int ClosePort();
    // What went wrong as the port last closed, as one line for the user (a driver that never
    // ended a cancelled call); empty when nothing did.
    std::string DescribeCloseProblem() const;
    // How WriteBlock waits from now on; nullptr for the default. `waiter` must outlive its use
    // here. Not from inside WriteBlock.
    void SetWaiter(PortWaiter* waiter);

    ReceiveBuffer& Buffer();
    // Tests only: the program keeps the 10,000 ms write time-out.
    void SetWriteTimeout(std::chrono::milliseconds timeout);
    // Why the last OpenPort failed, as one line for the user; empty after a successful one.
    std::string DescribeOpenFailure() const;
    // What the last OpenPort's failure means (no such device, busy, ...); kNone after a success.
    DeviceFault OpenFailure() const { return openFault_; }
    CommState& State();

  private:
    using Clock = std::chrono::steady_clock;

    void StartWatcher();
    // Sends what is left of the block and waits until it has drained, through `waiter`.
    bool Send(PortWaiter& waiter);
    bool WaitUntilSent(PortWaiter& waiter);
    // One wait for the block, at most until its deadline and the next look at the modem lines;
    // false when the block failed (the deadline passed, or the port cannot be written any more).
    bool WaitForBlock(PortWaiter& waiter, PortWaitObject object, Clock::duration pause);
    void LookAtModemLines();
    bool FailWrite(WriteFailure failure);
    // Hands one wait to the waiter; false when the port cannot be written any more.
    bool Wait(PortWaiter& waiter, PortWaitObject object, Clock::duration timeout);

    // Destroyed in reverse order: the connection state (and its device) before the buffer.
    ReceiveBuffer buffer_;
    CommState state_;
    std::thread watcher_;
    // Held while OpenPort stores the watcher's handle and id: the watcher clears them only later.
    std::mutex watcherStart_;
    std::chrono::milliseconds writeTimeout_{10000};
    WriteFailure lastWriteFailure_ = WriteFailure::kNone;
    PollingPortWaiter pollingWaiter_;
    PortWaiter* waiter_ = &pollingWaiter_;
    bool writing_ = false;
    bool waiting_ = false;
    bool outputUnsent_ = false;  // the last write did not drain: its bytes may still be queued
    // The block under way: what is left of it, its deadline, and the modem lines' last word.
    const unsigned char* sendNext_ = nullptr;
    long sendLeft_ = 0;
    Clock::time_point deadline_;
    Clock::time_point nextHoldCheck_;
    bool modemLinesReadable_ = true;
    bool finishedInside_ = false;  // FinishBlock sent it from a handler inside the wait
    OutputHold lastHold_;
    std::function<void(const OutputHold&)> holdReport_;
    std::string path_;
    std::string openFailure_;
    std::string closeProblem_;
    DeviceFault openFault_ = DeviceFault::kNone;
};

#include "serial/comm_port.h"

#include <algorithm>
#include <cassert>
#include <system_error>
#include <utility>

#include "serial/port_watcher.h"
#include "serial/thread_name.h"

namespace {

WriteFailure FailureOf(const DeviceStatus& status) {
    return status.fault == DeviceFault::kGone ? WriteFailure::kGone : WriteFailure::kDeviceError;
}

}  // namespace

CCommPort::CCommPort() : CCommPort(MakeSerialDevice()) {}

CCommPort::CCommPort(std::unique_ptr<SerialDevice> device) {
    state_.port = std::move(device);
    BaudRate = 9600;
    fOutxCtsFlow = 1;
    fOutxDsrFlow = 1;
    fDtrControl = DTR_CONTROL_HANDSHAKE;
    fOutX = 0;
    fInX = 0;
    fRtsControl = RTS_CONTROL_HANDSHAKE;
    XonLim = 100;
    XoffLim = 100;
    ByteSize = 8;
    Parity = NOPARITY;
    StopBits = ONESTOPBIT;
    XonChar = 0x11;
    XoffChar = 0x13;
}

CCommPort::~CCommPort() {
    if (state_.connected.load() != 0) ClosePort();
    if (watcher_.joinable()) watcher_.join();
    state_.port->Close();
}

int CCommPort::OpenPort(const char* name) {
    assert(name != nullptr);
    return OpenPort(MapPort(name));
}

int CCommPort::OpenPort(const PortMapping& port) {
    assert(!state_.port->IsOpen() && !watcher_.joinable());
    const std::string& path = port.devicePath;
    path_ = path;
    const DeviceStatus opened = state_.port->Open(path);
    if (!opened.ok()) {
        openFailure_ = DescribeOpenError(path, port.description, opened);
        openFault_ = opened.fault;
        return 0;
    }
    // Queue sizes and read time-outs are the device backend's own business (it sets what its
    // watcher's wait needs as it opens).
    const DeviceStatus configured = state_.port->Configure(*this);
    if (!configured.ok()) {
        openFailure_ = DescribeOpenError(path, port.description, configured);
        openFault_ = configured.fault;
        state_.port->Close();
        return 0;
    }
    // After the settings: bytes that came in at the port's old speed are garbage, and a purge
    // before would leave those still arriving until the speed changed. Like the other set-up
    // steps, the purge's result does not matter.
    state_.port->Purge(true);
    state_.connected.store(1);
    try {
        StartWatcher();
    } catch (const std::system_error& error) {
        openFailure_ = path + ": the port watcher thread could not start (" + error.what() + ")";
        openFault_ = DeviceFault::kOther;
        state_.connected.store(0);
        state_.port->Close();
        return 0;
    }
    // A pseudo-terminal has no modem lines and refuses; a real port that refuses still works.
    state_.port->SetDtr(true);
    openFailure_.clear();
    openFault_ = DeviceFault::kNone;
    return 1;
}

void CCommPort::StartWatcher() {
    std::lock_guard start(watcherStart_);
    watcher_ = std::thread([this] {
        { std::lock_guard started(watcherStart_); }
        NameCurrentThread("port-watcher");
        PortWatcherProc(state_, buffer_);
    });
    state_.watcherHandle.store(watcher_.native_handle());
    state_.watcherId.store(watcher_.get_id());
}

int CCommPort::ApplySettings() {
    return state_.port->Configure(*this).ok() ? 1 : 0;
}

int CCommPort::WriteBlock(const void* data, uint32_t length) {
    // A write from inside a wait (a handler the wait served) would cut the block in progress.
    if (writing_) return 0;
    writing_ = true;
    lastWriteFailure_ = WriteFailure::kNone;
    lastHold_ = {};
    outputUnsent_ = true;
    finishedInside_ = false;
    sendNext_ = static_cast<const unsigned char*>(data);
    sendLeft_ = static_cast<long>(length);
    const auto now = Clock::now();
    deadline_ = now + writeTimeout_;
    nextHoldCheck_ = now + writeTimeout_ / 3;
    modemLinesReadable_ = true;
    bool sent = Send(*waiter_);
    // A handler inside the wait sent the rest and closed the port under this call.
    if (!sent && finishedInside_) {
        sent = true;
        lastWriteFailure_ = WriteFailure::kNone;
    }
    outputUnsent_ = !sent;
    writing_ = false;
    return sent ? 1 : 0;
}

bool CCommPort::FinishBlock(std::chrono::milliseconds limit) {
    if (!writing_ || !outputUnsent_) return true;
    // A block that the modem lines hold back will not go out for waiting.
    LookAtModemLines();
    if (lastHold_.Held()) return false;
    deadline_ = std::min(deadline_, Clock::now() + limit);
    // Asleep: a handler that must finish before it returns serves nothing else.
    if (!Send(pollingWaiter_)) return false;
    outputUnsent_ = false;
    finishedInside_ = true;
    return true;
}

// The deadline is judged only after looking at the port once more: a wait that served a message
// box for a minute must not fail a port that has had room all along.
bool CCommPort::Send(PortWaiter& waiter) {
    while (sendLeft_ > 0) {
        if (!state_.port->IsOpen()) return FailWrite(WriteFailure::kDeviceError);
        const DeviceStatus written = state_.port->Write(sendNext_, sendLeft_);
        if (written.ok()) {
            sendNext_ += written.count;
            sendLeft_ -= written.count;
            continue;
        }
        if (written.fault != DeviceFault::kWouldBlock) return FailWrite(FailureOf(written));
        if (!WaitForBlock(waiter, state_.port->WaitObject(), Clock::duration::max())) return false;
    }
    return WaitUntilSent(waiter);
}

bool CCommPort::FailWrite(WriteFailure failure) {
    lastWriteFailure_ = failure;
    return false;
}

WriteFailure CCommPort::LastWriteFailure() const {
    return lastWriteFailure_;
}

OutputHold CCommPort::LastWriteHold() const {
    return lastHold_;
}

void CCommPort::SetHoldReport(std::function<void(const OutputHold&)> report) {
    holdReport_ = std::move(report);
}

bool CCommPort::WaitUntilSent(PortWaiter& waiter) {
    using std::chrono::microseconds;
    // Terminals offer no wait for "drained" with a time-out (tcdrain blocks for as long as the peer
    // holds CTS low), so look at the queue again once the bytes in it could have gone out at the
    // line's speed.
    const long bitsPerByte = 10;
    const long baud = std::max<long>(BaudRate, 1);
    for (;;) {
        if (!state_.port->IsOpen()) return FailWrite(WriteFailure::kDeviceError);
        const DeviceStatus queued = state_.port->OutputQueued();
        if (!queued.ok()) return FailWrite(FailureOf(queued));
        if (queued.count == 0) return true;
        const microseconds sendTime{queued.count * bitsPerByte * 1'000'000 / baud};
        const Clock::duration pause =
            std::max<Clock::duration>(sendTime, std::chrono::milliseconds(1));
        if (!WaitForBlock(waiter, kNoWaitObject, pause)) return false;
    }
}

bool CCommPort::WaitForBlock(PortWaiter& waiter, PortWaitObject object, Clock::duration pause) {
    const auto now = Clock::now();
    if (now >= nextHoldCheck_) {
        LookAtModemLines();
        nextHoldCheck_ = now + writeTimeout_ / 3;
    }
    if (now >= deadline_) {
        // What holds the line as the write gives up is what the failure is reported with.
        LookAtModemLines();
        return FailWrite(WriteFailure::kTimedOut);
    }
    const Clock::duration untilDeadline = deadline_ - now;
    const Clock::duration untilCheck = nextHoldCheck_ - now;
    return Wait(waiter, object, std::min({pause, untilDeadline, untilCheck}));
}

void CCommPort::LookAtModemLines() {
    if (!modemLinesReadable_) return;
    ModemLines lines;
    // A pseudo-terminal has none: then nothing is said.
    if (!state_.port->ReadModemLines(lines).ok()) {
        modemLinesReadable_ = false;
        return;
    }
    const OutputHold hold = HoldOf(lines);
    if (hold.Held() && hold != lastHold_ && holdReport_) holdReport_(hold);
    lastHold_ = hold;
}

bool CCommPort::Wait(PortWaiter& waiter, PortWaitObject object, Clock::duration timeout) {
    // A wait inside another one (FinishBlock from a handler the outer wait served) leaves the
    // outer one marked: a ClosePort must still interrupt it.
    const bool outer = std::exchange(waiting_, true);
    const PortWaitEnd end =
        waiter.Wait(object, std::chrono::ceil<std::chrono::milliseconds>(timeout));
    waiting_ = outer;
    // Interrupted: the port is being closed under the write.
    if (end == PortWaitEnd::kInterrupted || end == PortWaitEnd::kFailed || !state_.port->IsOpen())
        return FailWrite(WriteFailure::kDeviceError);
    return true;
}

int CCommPort::ClosePort() {
    // A problem belongs to the close that met it: closing again says nothing of it.
    closeProblem_.clear();
    // Closed by a handler that a WriteBlock's wait served: the waiter lets go of the wait object
    // before it is closed, and the write ends with 0.
    if (waiting_) waiter_->Interrupt();
    state_.connected.store(0);
    buffer_.WakeProducer();
    if (state_.port->IsOpen()) {
        state_.port->Wake();
        // Results not examined: the line may be gone already, and a pseudo-terminal has no DTR.
        state_.port->SetDtr(false);
        // Bytes that a completed write handed on are the device's: only a write that did not
        // drain leaves bytes to drop (on a pseudo-terminal, the output purge also takes back what
        // the far end has not read yet).
        state_.port->Purge(outputUnsent_);
    }
    // The device is closed only after the watcher stopped waiting on it: a closed descriptor's
    // number (or handle's value) can be reused by any other open in the process.
    if (watcher_.joinable()) watcher_.join();
    const DeviceStatus closed = state_.port->Close();
    if (closed.fault == DeviceFault::kStuck) {
        closeProblem_ = path_ + ": the driver never ended a cancelled " + closed.call +
                        ", even after its abort; the call was given up and the port closed";
    }
    return 1;
}

std::string CCommPort::DescribeCloseProblem() const {
    return closeProblem_;
}

void CCommPort::SetWaiter(PortWaiter* waiter) {
    assert(!writing_);
    waiter_ = waiter != nullptr ? waiter : &pollingWaiter_;
}

ReceiveBuffer& CCommPort::Buffer() {
    return buffer_;
}

void CCommPort::SetWriteTimeout(std::chrono::milliseconds timeout) {
    writeTimeout_ = timeout;
}

std::string CCommPort::DescribeOpenFailure() const {
    return openFailure_;
}

CommState& CCommPort::State() {
    return state_;
}

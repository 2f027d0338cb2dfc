#include "serial/comm_port.h"

#include <algorithm>
#include <cassert>
#include <system_error>

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
    outputUnsent_ = true;
    const bool sent = Send(static_cast<const unsigned char*>(data), length);
    outputUnsent_ = !sent;
    writing_ = false;
    return sent ? 1 : 0;
}

// The deadline is judged only after looking at the port once more: a wait that served a message
// box for a minute must not fail a port that has had room all along.
bool CCommPort::Send(const unsigned char* next, long left) {
    const auto deadline = std::chrono::steady_clock::now() + writeTimeout_;
    while (left > 0) {
        if (!state_.port->IsOpen()) return FailWrite(WriteFailure::kDeviceError);
        const DeviceStatus written = state_.port->Write(next, left);
        if (written.ok()) {
            next += written.count;
            left -= written.count;
            continue;
        }
        if (written.fault != DeviceFault::kWouldBlock) return FailWrite(FailureOf(written));
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return FailWrite(WriteFailure::kTimedOut);
        if (!Wait(state_.port->WaitObject(), deadline - now)) return false;
    }
    return WaitUntilSent(deadline);
}

bool CCommPort::FailWrite(WriteFailure failure) {
    lastWriteFailure_ = failure;
    return false;
}

WriteFailure CCommPort::LastWriteFailure() const {
    return lastWriteFailure_;
}

bool CCommPort::WaitUntilSent(std::chrono::steady_clock::time_point deadline) {
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
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return FailWrite(WriteFailure::kTimedOut);
        const microseconds sendTime{queued.count * bitsPerByte * 1'000'000 / baud};
        const auto pause = std::min<std::chrono::steady_clock::duration>(
            std::max<std::chrono::steady_clock::duration>(sendTime, std::chrono::milliseconds(1)),
            deadline - now);
        if (!Wait(kNoWaitObject, pause)) return false;
    }
}

bool CCommPort::Wait(PortWaitObject object, std::chrono::steady_clock::duration timeout) {
    waiting_ = true;
    const PortWaitEnd end =
        waiter_->Wait(object, std::chrono::ceil<std::chrono::milliseconds>(timeout));
    waiting_ = false;
    // Interrupted: the port is being closed under the write.
    if (end == PortWaitEnd::kInterrupted || end == PortWaitEnd::kFailed || !state_.port->IsOpen())
        return FailWrite(WriteFailure::kDeviceError);
    return true;
}

int CCommPort::ClosePort() {
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
    state_.port->Close();
    return 1;
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

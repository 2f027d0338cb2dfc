// SerialDevice on Win32 COM ports: an exclusive CreateFileW with overlapped I/O, the DCB settings,
// short read time-outs for the port watcher, and one overlapped write in flight at a time.
//
// How it works:
// - Reading (port watcher thread): one overlapped ReadFile at a time into a read-ahead buffer,
//   with ReadIntervalTimeout 1 ms and ReadTotalTimeoutConstant 100 ms, so a read ends 1 ms after
//   bytes stop coming, or after 100 ms without any (ERROR_TIMEOUT under Wine, success with 0
//   bytes on Windows: both mean idle, and the next read starts). A driver that ends idle reads at
//   once is given a growing pause between them (read_back_off.h), spent waiting on the wake event.
//   WaitReadable waits in WaitForMultipleObjects on the wake event and the read's event, so Wake()
//   ends it at once; the read in flight is then ended (below) and what it had delivered kept.
//   Read() hands out read-ahead bytes, at most as many as asked, and never waits. The usual
//   "return at the first byte" time-outs (MAXDWORD, MAXDWORD, n) are not used: under Wine such a
//   read ends only when its buffer is full or the line hangs up; WaitCommEvent(EV_RXCHAR) fails at
//   once on Wine's pseudo-terminal ports.
// - Writing (owning thread): Write copies what it takes (up to kWriteChunk bytes), starts an
//   overlapped WriteFile and reports the bytes taken at once. While that write is in flight Write
//   takes nothing (kWouldBlock), and WaitObject() is the write's event, which the system signals
//   as the write completes. OutputQueued counts the driver's output queue (ClearCommError), or,
//   where the driver reports none, the bytes of the write still in flight. A write in flight that
//   failed surfaces in the next Write or OutputQueued.
// - Ending a call in flight (a purge of the output, a close, a wake): PurgeComm aborts what the
//   driver holds, CancelIoEx what Wine's purge leaves running, and the wait for the call to end is
//   bounded by kCallEndWait. A driver that still holds it (a write held by flow control on some
//   drivers, USB serial drivers after a surprise removal) has it given up: its OVERLAPPED, buffer
//   and event stay allocated for the rest of the process, since the system may still write into
//   them, the port goes on with a fresh call, and Close reports kStuck and closes the handle on a
//   thread of its own, in case the driver holds the close as well.
// - A hang-up, an unplugged adapter or a close under the call fail the read or write with one of
//   the errors that win32_errors.cpp takes for kGone.
// - Exclusive use: CreateFileW shares nothing, which Windows' serial drivers enforce. Wine's
//   serial ports let a second open through, so the port is also claimed by a mutex named after
//   it, which a second QelpUpd finds taken.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "serial/read_back_off.h"
#include "serial/serial_device.h"
#include "serial/win32_api.h"
#include "serial/win32_comm_settings.h"
#include "serial/win32_errors.h"

namespace {

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kWriteChunk = kQueueSize;
constexpr DWORD kReadAhead = kQueueSize;
// How long a cancelled call may take to end before it is given up.
constexpr DWORD kCallEndWait = 1000;

// Reads end 1 ms after the last byte or after kIdleRead of silence; writes have no time-out of the
// driver's (CCommPort keeps its own deadline).
constexpr COMMTIMEOUTS kTimeouts = {1, 0, static_cast<DWORD>(kIdleRead.count()), 0, 0};

// One overlapped call: what the system writes its end into, signals, and reads from or writes to.
struct Call {
    OVERLAPPED ov{};
    unsigned char buffer[kQueueSize];
    bool pending = false;

    Call() = default;
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    ~Call() {
        if (ov.hEvent != nullptr) CloseHandle(ov.hEvent);
    }
};

// A call with its manual-reset event, signalled or not to begin with; nullptr when the system
// gives no event.
std::unique_ptr<Call> MakeCall(bool signalled) {
    auto call = std::make_unique<Call>();
    call->ov.hEvent = CreateEventW(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr);
    return call->ov.hEvent != nullptr ? std::move(call) : nullptr;
}

DeviceStatus Succeeded(long count = 0) {
    return DeviceStatus{count, DeviceFault::kNone, "", 0};
}

DeviceStatus OpenFailed(const char* call, DWORD error) {
    return DeviceStatus{0, OpenFault(error), call, static_cast<int>(error)};
}

DeviceStatus IoFailed(const char* call, DWORD error) {
    return DeviceStatus{0, IoFault(error), call, static_cast<int>(error)};
}

// "Local\QelpUpd port COM5" for \\.\COM5 or com5: one name per port, whichever way it was
// spelt. Object names take no backslash after the namespace.
std::wstring ClaimName(const std::string& path) {
    std::string port = path.compare(0, 4, "\\\\.\\") == 0 ? path.substr(4) : path;
    for (char& c : port) c = c == '\\' ? '/' : static_cast<char>(std::toupper(c));
    return L"Local\\QelpUpd port " + WideFromUtf8(port);
}

bool IsSignalled(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

class Win32SerialDevice final : public SerialDevice {
  public:
    ~Win32SerialDevice() override { Close(); }

    DeviceStatus Open(const std::string& path) override {
        if (IsOpen()) return OpenFailed("CreateFileW", ERROR_BUSY);
        const HANDLE port = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (port == INVALID_HANDLE_VALUE) return OpenFailed("CreateFileW", GetLastError());
        port_ = port;
        claim_ = CreateMutexW(nullptr, FALSE, ClaimName(path).c_str());
        if (claim_ == nullptr) return CloseAfter("CreateMutexW", GetLastError());
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            return CloseAfter("CreateMutexW", ERROR_ALREADY_EXISTS);
        }
        // A recommendation that some drivers refuse (virtual ports among them); the port then
        // works with the driver's own queue sizes.
        SetupComm(port_, kQueueSize, kQueueSize);
        COMMTIMEOUTS timeouts = kTimeouts;
        if (!SetCommTimeouts(port_, &timeouts))
            return CloseAfter("SetCommTimeouts", GetLastError());
        wake_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        read_ = MakeCall(false);
        // Signalled while no write is in flight: a wait for room then ends at once.
        write_ = MakeCall(true);
        if (wake_ == nullptr || !read_ || !write_) {
            return CloseAfter("CreateEventW", GetLastError());
        }
        return Succeeded();
    }

    bool IsOpen() const override { return port_ != INVALID_HANDLE_VALUE; }

    DeviceStatus Configure(const DeviceControlBlock& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(port_, &dcb)) return IoFailed("GetCommState", GetLastError());
        if (!ApplyLineSettings(settings, dcb)) {
            return DeviceStatus{0, DeviceFault::kOther, "DCB settings", ERROR_INVALID_PARAMETER};
        }
        if (!SetCommState(port_, &dcb)) return IoFailed("SetCommState", GetLastError());
        return Succeeded();
    }

    DeviceStatus Purge(bool output) override {
        // The write in flight is dropped with the rest of the output. The watcher's read is left
        // alone: aborting it would look like a hang-up.
        if (output && write_ && write_->pending &&
            !EndInFlight(write_, PURGE_TXABORT, "WriteFile", writeGivenUp_, nullptr)) {
            return DeviceStatus{0, DeviceFault::kStuck, "WriteFile", 0};
        }
        const DWORD queues = output ? PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR : PURGE_RXCLEAR;
        if (!PurgeComm(port_, queues)) {
            return IoFailed("PurgeComm", GetLastError());
        }
        return Succeeded();
    }

    DeviceStatus SetDtr(bool raised) override {
        // Fails with ERROR_NOT_SUPPORTED where the port has no modem lines (Wine's pseudo-terminal
        // ports), and while DTR is under handshake control on some drivers; the caller decides.
        if (!EscapeCommFunction(port_, raised ? SETDTR : CLRDTR)) {
            return IoFailed("EscapeCommFunction", GetLastError());
        }
        return Succeeded();
    }

    DeviceStatus ReadModemLines(ModemLines& lines) override {
        // ERROR_NOT_SUPPORTED on Wine's pseudo-terminal ports, which have no modem lines.
        DWORD status = 0;
        if (!GetCommModemStatus(port_, &status)) {
            return IoFailed("GetCommModemStatus", GetLastError());
        }
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(port_, &dcb)) return IoFailed("GetCommState", GetLastError());
        lines.cts = (status & MS_CTS_ON) != 0;
        lines.dsr = (status & MS_DSR_ON) != 0;
        lines.outputWaitsForCts = dcb.fOutxCtsFlow != 0;
        lines.outputWaitsForDsr = dcb.fOutxDsrFlow != 0;
        return Succeeded();
    }

    DeviceStatus Write(const void* data, long length) override {
        const DeviceStatus inFlight = CheckWrite();
        if (!inFlight.ok()) return inFlight;
        if (inFlight.count > 0) {
            return DeviceStatus{0, DeviceFault::kWouldBlock, "WriteFile", ERROR_IO_PENDING};
        }
        if (!write_) return IoFailed("CreateEventW", ERROR_NOT_ENOUGH_MEMORY);
        const DWORD taken = std::min(static_cast<DWORD>(length), kWriteChunk);
        std::memcpy(write_->buffer, data, taken);
        writeFrom_ = 0;
        writeLeft_ = taken;
        const DeviceStatus started = StartWrite();
        return started.ok() ? Succeeded(static_cast<long>(taken)) : started;
    }

    PortWaitObject WaitObject() const override {
        return write_ ? write_->ov.hEvent : kNoWaitObject;
    }

    DeviceStatus OutputQueued() override {
        const DeviceStatus inFlight = CheckWrite();
        if (!inFlight.ok()) return inFlight;
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(port_, &errors, &status)) {
            return IoFailed("ClearCommError", GetLastError());
        }
        // Windows' own serial driver counts a write in flight in its queue; Wine's pseudo-terminal
        // ports and some USB drivers report 0 until the write completes.
        return Succeeded(status.cbOutQue > 0 ? static_cast<long>(status.cbOutQue) : inFlight.count);
    }

    DeviceStatus Close() override {
        if (!IsOpen()) return Succeeded();
        // The system writes into the buffers and events of calls in flight until they end.
        if (read_ && read_->pending)
            EndInFlight(read_, PURGE_RXABORT, "ReadFile", readGivenUp_, nullptr);
        if (write_ && write_->pending)
            EndInFlight(write_, PURGE_TXABORT, "WriteFile", writeGivenUp_, nullptr);
        const char* givenUp = writeGivenUp_ != nullptr ? writeGivenUp_ : readGivenUp_;
        if (givenUp == nullptr || !CloseAside(port_)) CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
        for (HANDLE* handle : {&claim_, &wake_}) {
            if (*handle != nullptr) CloseHandle(*handle);
            *handle = nullptr;
        }
        read_.reset();
        write_.reset();
        readFrom_ = readTo_ = 0;
        readGivenUp_ = writeGivenUp_ = nullptr;
        backOff_ = std::chrono::milliseconds{0};
        if (givenUp != nullptr) return DeviceStatus{0, DeviceFault::kStuck, givenUp, 0};
        return Succeeded();
    }

    WaitResult WaitReadable() override {
        if (readFrom_ < readTo_) return WaitResult::kReadable;
        // A read given up left no call to read with.
        if (!read_) return WaitResult::kHungUp;
        for (;;) {
            if (!read_->pending) {
                if (IsSignalled(wake_)) return WaitResult::kWoken;
                // After reads that ended at once with nothing: a pause, which Wake() still ends.
                if (backOff_.count() > 0 &&
                    WaitForSingleObject(wake_, static_cast<DWORD>(backOff_.count())) ==
                        WAIT_OBJECT_0) {
                    return WaitResult::kWoken;
                }
                readStarted_ = std::chrono::steady_clock::now();
                if (!ReadFile(port_, read_->buffer, kReadAhead, nullptr, &read_->ov) &&
                    GetLastError() != ERROR_IO_PENDING) {
                    const DWORD error = GetLastError();
                    if (error != ERROR_TIMEOUT) return WaitResult::kHungUp;
                    NoteEmptyRead();
                    continue;
                }
                // Also when it completed at once: its event is set, the result is read below.
                read_->pending = true;
            }
            const HANDLE events[2] = {wake_, read_->ov.hEvent};
            const DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (woke == WAIT_OBJECT_0) {
                EndInFlight(read_, PURGE_RXABORT, "ReadFile", readGivenUp_, &readTo_);
                readFrom_ = 0;
                return WaitResult::kWoken;
            }
            // The port can no longer be waited on: end the watcher rather than spin.
            if (woke != WAIT_OBJECT_0 + 1) return WaitResult::kHungUp;
            DWORD count = 0;
            const bool read = GetOverlappedResult(port_, &read_->ov, &count, FALSE) != 0;
            const DWORD error = read ? ERROR_SUCCESS : GetLastError();
            read_->pending = false;
            if (read && count > 0) {
                backOff_ = std::chrono::milliseconds{0};
                readFrom_ = 0;
                readTo_ = count;
                return WaitResult::kReadable;
            }
            if (read || error == ERROR_TIMEOUT) {  // idle: no byte for a while, or none at all
                NoteEmptyRead();
                continue;
            }
            if (error == ERROR_OPERATION_ABORTED && IsSignalled(wake_)) return WaitResult::kWoken;
            // Every other failure would come back at once on the next read: the device is gone.
            return WaitResult::kHungUp;
        }
    }

    DeviceStatus Read(void* destination, long maximum) override {
        const DWORD count = std::min(readTo_ - readFrom_, static_cast<DWORD>(maximum));
        std::memcpy(destination, read_->buffer + readFrom_, count);
        readFrom_ += count;
        if (readFrom_ == readTo_) readFrom_ = readTo_ = 0;
        return Succeeded(static_cast<long>(count));
    }

    void Wake() override {
        // Manual reset and never reset: every later wait ends at once as well, until Close.
        SetEvent(wake_);
    }

  private:
    DeviceStatus CloseAfter(const char* call, DWORD error) {
        Close();
        return OpenFailed(call, error);
    }

    DeviceStatus StartWrite() {
        if (!WriteFile(port_, write_->buffer + writeFrom_, writeLeft_, nullptr, &write_->ov) &&
            GetLastError() != ERROR_IO_PENDING) {
            return IoFailed("WriteFile", GetLastError());
        }
        // Also when it completed at once: CheckWrite reads the result.
        write_->pending = true;
        return Succeeded(static_cast<long>(writeLeft_));
    }

    // The write in flight: count = its bytes not yet written, 0 when none is in flight.
    DeviceStatus CheckWrite() {
        if (!write_ || !write_->pending) return Succeeded(0);
        DWORD written = 0;
        if (GetOverlappedResult(port_, &write_->ov, &written, FALSE)) {
            write_->pending = false;
            if (written >= writeLeft_) return Succeeded(0);
            // Cut short: the rest goes out again.
            writeFrom_ += written;
            writeLeft_ -= written;
            return StartWrite();
        }
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return Succeeded(static_cast<long>(writeLeft_));
        write_->pending = false;
        return IoFailed("WriteFile", error);
    }

    // Aborts a call in flight and waits, at most kCallEndWait, until the system has let go of it;
    // `delivered` receives what it had transferred, when asked. False when the driver kept it:
    // the call is then given up (`givenUp` names it) and replaced by a fresh one.
    bool EndInFlight(std::unique_ptr<Call>& call, DWORD abort, const char* name,
                     const char*& givenUp, DWORD* delivered) {
        // Neither result matters: whether the call ends is what the wait shows.
        PurgeComm(port_, abort);
        CancelIoEx(port_, &call->ov);
        DWORD count = 0;
        const bool ended = WaitForSingleObject(call->ov.hEvent, kCallEndWait) == WAIT_OBJECT_0;
        const bool done = ended && GetOverlappedResult(port_, &call->ov, &count, FALSE) != 0;
        if (delivered != nullptr) *delivered = done ? count : 0;
        if (ended) {
            call->pending = false;
            return true;
        }
        // Deliberately leaked: the system may still write into its OVERLAPPED and buffer and
        // signal its event, at any time until the process ends.
        static_cast<void>(call.release());
        givenUp = name;
        call = MakeCall(abort == PURGE_TXABORT);
        return false;
    }

    void NoteEmptyRead() {
        backOff_ = NextReadBackOff(std::chrono::steady_clock::now() - readStarted_, backOff_);
    }

    // Closes `port` on a thread of its own: a driver that kept a call past its abort may keep its
    // close waiting as well. False when no thread could be started.
    static bool CloseAside(HANDLE port) {
        try {
            std::thread([port] { CloseHandle(port); }).detach();
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }

    // Set by Open and cleared by Close, both on the owning thread while no watcher runs.
    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE claim_ = nullptr;
    HANDLE wake_ = nullptr;
    // The watcher's read, the bytes of it not yet handed out, and its pause after empty reads.
    std::unique_ptr<Call> read_;
    DWORD readFrom_ = 0;
    DWORD readTo_ = 0;
    std::chrono::steady_clock::time_point readStarted_;
    std::chrono::milliseconds backOff_{0};
    // The owning thread's write in flight.
    std::unique_ptr<Call> write_;
    DWORD writeFrom_ = 0;
    DWORD writeLeft_ = 0;
    // The calls given up, by the watcher and by the owning thread; Close reads both once the
    // watcher has ended.
    const char* readGivenUp_ = nullptr;
    const char* writeGivenUp_ = nullptr;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
    return std::make_unique<Win32SerialDevice>();
}

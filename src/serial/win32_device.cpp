// SerialDevice on Win32 COM ports: an exclusive CreateFileW with overlapped I/O, the DCB settings,
// short read time-outs for the port watcher, and one overlapped write in flight at a time.
//
// How it works:
// - Reading (port watcher thread): one overlapped ReadFile at a time into a read-ahead buffer,
//   with ReadIntervalTimeout 1 ms and ReadTotalTimeoutConstant 100 ms, so a read ends 1 ms after
//   bytes stop coming, or after 100 ms without any (ERROR_TIMEOUT under Wine, success with 0
//   bytes on Windows: both mean idle, and the next read starts). WaitReadable waits in
//   WaitForMultipleObjects on the wake event and the read's event, so Wake() ends it at once; the
//   read in flight is then cancelled (CancelIoEx) and what it had delivered kept. Read() hands
//   out read-ahead bytes, at most as many as asked, and never waits. The usual "return at the
//   first byte" time-outs (MAXDWORD, MAXDWORD, n) are not used: under Wine such a read ends only
//   when its buffer is full or the line hangs up; WaitCommEvent(EV_RXCHAR) fails at once on
//   Wine's pseudo-terminal ports.
// - Writing (owning thread): Write copies what it takes (up to kWriteChunk bytes), starts an
//   overlapped WriteFile and reports the bytes taken at once. While that write is in flight Write
//   takes nothing (kWouldBlock), and WaitObject() is the write's event, which the system signals
//   as the write completes. OutputQueued counts the driver's output queue (ClearCommError), or,
//   where the driver reports none, the bytes of the write still in flight. A write in flight that
//   failed surfaces in the next Write or OutputQueued.
// - A hang-up, an unplugged adapter or a close under the call fail the read or write with one of
//   the errors that win32_errors.cpp takes for kGone.
// - Exclusive use: CreateFileW shares nothing, which Windows' serial drivers enforce. Wine's
//   serial ports let a second open through, so the port is also claimed by a mutex named after
//   it, which a second QelpUpd finds taken.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "serial/serial_device.h"
#include "serial/win32_api.h"
#include "serial/win32_comm_settings.h"
#include "serial/win32_errors.h"

namespace {

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kWriteChunk = kQueueSize;
constexpr DWORD kReadAhead = kQueueSize;

// Reads end 1 ms after the last byte or after 100 ms of silence; writes have no time-out of the
// driver's (CCommPort keeps its own deadline).
constexpr COMMTIMEOUTS kTimeouts = {1, 0, 100, 0, 0};

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
        readOv_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        // Signalled while no write is in flight: a wait for room then ends at once.
        writeOv_.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
        if (wake_ == nullptr || readOv_.hEvent == nullptr || writeOv_.hEvent == nullptr) {
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
        // The write in flight is dropped with the rest of the output (Wine's purge leaves it
        // running). The watcher's read is left alone: aborting it would look like a hang-up.
        if (output && writePending_) EndInFlight(writeOv_, writePending_, nullptr);
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

    DeviceStatus Write(const void* data, long length) override {
        const DeviceStatus inFlight = CheckWrite();
        if (!inFlight.ok()) return inFlight;
        if (inFlight.count > 0) {
            return DeviceStatus{0, DeviceFault::kWouldBlock, "WriteFile", ERROR_IO_PENDING};
        }
        const DWORD taken = std::min(static_cast<DWORD>(length), kWriteChunk);
        std::memcpy(writeBuffer_, data, taken);
        writeFrom_ = 0;
        writeLeft_ = taken;
        const DeviceStatus started = StartWrite();
        return started.ok() ? Succeeded(static_cast<long>(taken)) : started;
    }

    PortWaitObject WaitObject() const override { return writeOv_.hEvent; }

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

    void Close() override {
        if (!IsOpen()) return;
        // The system writes into the buffers and events of calls in flight until they end.
        if (readPending_) EndInFlight(readOv_, readPending_, nullptr);
        if (writePending_) EndInFlight(writeOv_, writePending_, nullptr);
        CloseHandle(port_);
        port_ = INVALID_HANDLE_VALUE;
        for (HANDLE* handle : {&claim_, &wake_, &readOv_.hEvent, &writeOv_.hEvent}) {
            if (*handle != nullptr) CloseHandle(*handle);
            *handle = nullptr;
        }
        readFrom_ = readTo_ = 0;
    }

    WaitResult WaitReadable() override {
        if (readFrom_ < readTo_) return WaitResult::kReadable;
        for (;;) {
            if (!readPending_) {
                if (IsSignalled(wake_)) return WaitResult::kWoken;
                if (!ReadFile(port_, readBuffer_, kReadAhead, nullptr, &readOv_) &&
                    GetLastError() != ERROR_IO_PENDING) {
                    const DWORD error = GetLastError();
                    if (error == ERROR_TIMEOUT) continue;
                    return WaitResult::kHungUp;
                }
                // Also when it completed at once: its event is set, the result is read below.
                readPending_ = true;
            }
            const HANDLE events[2] = {wake_, readOv_.hEvent};
            const DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (woke == WAIT_OBJECT_0) {
                EndInFlight(readOv_, readPending_, &readTo_);
                readFrom_ = 0;
                return WaitResult::kWoken;
            }
            // The port can no longer be waited on: end the watcher rather than spin.
            if (woke != WAIT_OBJECT_0 + 1) return WaitResult::kHungUp;
            DWORD count = 0;
            const bool read = GetOverlappedResult(port_, &readOv_, &count, FALSE) != 0;
            const DWORD error = read ? ERROR_SUCCESS : GetLastError();
            readPending_ = false;
            if (read && count > 0) {
                readFrom_ = 0;
                readTo_ = count;
                return WaitResult::kReadable;
            }
            if (read || error == ERROR_TIMEOUT) continue;  // 100 ms without a byte
            if (error == ERROR_OPERATION_ABORTED && IsSignalled(wake_)) return WaitResult::kWoken;
            // Every other failure would come back at once on the next read: the device is gone.
            return WaitResult::kHungUp;
        }
    }

    DeviceStatus Read(void* destination, long maximum) override {
        const DWORD count = std::min(readTo_ - readFrom_, static_cast<DWORD>(maximum));
        std::memcpy(destination, readBuffer_ + readFrom_, count);
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
        if (!WriteFile(port_, writeBuffer_ + writeFrom_, writeLeft_, nullptr, &writeOv_) &&
            GetLastError() != ERROR_IO_PENDING) {
            return IoFailed("WriteFile", GetLastError());
        }
        // Also when it completed at once: CheckWrite reads the result.
        writePending_ = true;
        return Succeeded(static_cast<long>(writeLeft_));
    }

    // The write in flight: count = its bytes not yet written, 0 when none is in flight.
    DeviceStatus CheckWrite() {
        if (!writePending_) return Succeeded(0);
        DWORD written = 0;
        if (GetOverlappedResult(port_, &writeOv_, &written, FALSE)) {
            writePending_ = false;
            if (written >= writeLeft_) return Succeeded(0);
            // Cut short: the rest goes out again.
            writeFrom_ += written;
            writeLeft_ -= written;
            return StartWrite();
        }
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return Succeeded(static_cast<long>(writeLeft_));
        writePending_ = false;
        return IoFailed("WriteFile", error);
    }

    // Cancels a call in flight and waits until the system has let go of its buffer; `delivered`
    // receives what it had transferred, when asked.
    void EndInFlight(OVERLAPPED& call, bool& pending, DWORD* delivered) {
        CancelIoEx(port_, &call);
        DWORD count = 0;
        const bool done = GetOverlappedResult(port_, &call, &count, TRUE) != 0;
        if (delivered != nullptr) *delivered = done ? count : 0;
        pending = false;
    }

    // Set by Open and cleared by Close, both on the owning thread while no watcher runs.
    HANDLE port_ = INVALID_HANDLE_VALUE;
    HANDLE claim_ = nullptr;
    HANDLE wake_ = nullptr;
    // The watcher's read: its call, buffer and the bytes of it not yet handed out.
    OVERLAPPED readOv_{};
    bool readPending_ = false;
    unsigned char readBuffer_[kReadAhead];
    DWORD readFrom_ = 0;
    DWORD readTo_ = 0;
    // The owning thread's write in flight.
    OVERLAPPED writeOv_{};
    bool writePending_ = false;
    unsigned char writeBuffer_[kWriteChunk];
    DWORD writeFrom_ = 0;
    DWORD writeLeft_ = 0;
};

}  // namespace

std::unique_ptr<SerialDevice> MakeSerialDevice() {
    return std::make_unique<Win32SerialDevice>();
}

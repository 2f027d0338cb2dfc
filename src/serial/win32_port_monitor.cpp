// PortMonitor on Windows: a registry change notice on HARDWARE\DEVICEMAP\SERIALCOMM, where every
// serial driver (the built-in ports', USB adapters', Bluetooth's) enters a port as it starts and
// removes it as it stops, so a notice there comes when a port can be opened or has gone. That is
// enough: WM_DEVICECHANGE would need a window and a message loop in a program that has neither,
// and tells of devices before their driver has made the port.
//
// A thread of the monitor's own waits for the notice, arms it again at once (a notice fires once)
// and times the burst; at its end it sets the event that the owner waits on. An asynchronous
// notice lasts only as long as the thread that asked for it, which is another reason for one
// thread that lives as long as the monitor.
#include <algorithm>
#include <future>
#include <mutex>
#include <thread>

#include "serial/port_monitor.h"
#include "serial/thread_name.h"
#include "serial/win32_api.h"
#include "serial/win32_errors.h"

using Clock = std::chrono::steady_clock;

namespace {

const wchar_t kDeviceMap[] = L"HARDWARE\\DEVICEMAP";
const wchar_t kSerialComm[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

std::string Describe(const char* call, unsigned long error) {
    return std::string(call) + ": " + SystemMessage(error);
}

}  // namespace

struct PortMonitor::Impl {
    PortMonitorSettings settings;
    Handle notice{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // what the owner waits on
    Handle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Handle change{CreateEventW(nullptr, FALSE, FALSE, nullptr)};  // the registry's notices
    HKEY deviceMap = nullptr;
    HKEY serialComm = nullptr;  // while the key exists
    std::thread thread;
    mutable std::mutex lock;
    std::string failure;  // under `lock`

    ~Impl() {
        if (thread.joinable()) {
            SetEvent(stop.get());
            thread.join();
        }
        for (HKEY key : {serialComm, deviceMap})
            if (key != nullptr) RegCloseKey(key);
    }

    void SetFailure(std::string text) {
        std::lock_guard<std::mutex> hold(lock);
        failure = std::move(text);
    }

    // Asks for the next notice: on SERIALCOMM's values, or, while it does not exist (no serial
    // port yet, or its key deleted), on DEVICEMAP for its creation.
    bool Arm() {
        constexpr DWORD kValues = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
        if (serialComm == nullptr) {
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, KEY_NOTIFY, &serialComm);
        }
        if (serialComm != nullptr) {
            const LONG result =
                RegNotifyChangeKeyValue(serialComm, FALSE, kValues, change.get(), TRUE);
            if (result == ERROR_SUCCESS) return Armed();
            RegCloseKey(serialComm);
            serialComm = nullptr;
            if (result != ERROR_KEY_DELETED) {
                SetFailure(Describe("RegNotifyChangeKeyValue SERIALCOMM", result));
                return false;
            }
        }
        const LONG result =
            RegNotifyChangeKeyValue(deviceMap, FALSE, REG_NOTIFY_CHANGE_NAME, change.get(), TRUE);
        if (result != ERROR_SUCCESS) {
            SetFailure(Describe("RegNotifyChangeKeyValue DEVICEMAP", result));
            return false;
        }
        return Armed();
    }

    bool Armed() {
        SetFailure({});
        return true;
    }

    // WAIT_OBJECT_0: stop; WAIT_OBJECT_0 + 1: a registry notice; WAIT_TIMEOUT.
    DWORD WaitForChange(DWORD milliseconds) {
        const HANDLE objects[] = {stop.get(), change.get()};
        return WaitForMultipleObjects(2, objects, FALSE, milliseconds);
    }

    void Run() {
        NameCurrentThread("port monitor");
        for (;;) {
            if (WaitForChange(INFINITE) != WAIT_OBJECT_0 + 1) return;
            // A notice fires once: ask for the next before anything else can change.
            if (!Arm()) return;
            const Clock::time_point first = Clock::now();
            for (;;) {
                const Clock::time_point now = Clock::now();
                const auto left =
                    std::min<Clock::duration>(settings.quiet, first + settings.longest - now);
                if (left <= Clock::duration::zero()) break;
                const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
                const DWORD woken = WaitForChange(static_cast<DWORD>(ms));
                if (woken == WAIT_TIMEOUT) break;
                if (woken != WAIT_OBJECT_0 + 1 || !Arm()) return;
            }
            SetEvent(notice.get());
        }
    }
};

PortMonitor::PortMonitor(const PortMonitorSettings& settings) : impl_(std::make_unique<Impl>()) {
    Impl& m = *impl_;
    m.settings = settings;
    if (m.notice.get() == nullptr || m.stop.get() == nullptr || m.change.get() == nullptr) {
        m.failure = Describe("CreateEventW", GetLastError());
        return;
    }
    const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceMap, 0, KEY_NOTIFY, &m.deviceMap);
    if (opened != ERROR_SUCCESS) {
        m.deviceMap = nullptr;
        m.failure = Describe("RegOpenKeyExW DEVICEMAP", static_cast<unsigned long>(opened));
        return;
    }
    // Armed on the thread that keeps the notice; the owner's first scan comes after this returns,
    // so a change from then on is seen.
    std::promise<void> armed;
    std::future<void> started = armed.get_future();
    m.thread = std::thread([&m, armed = std::move(armed)]() mutable {
        const bool ok = m.Arm();
        armed.set_value();
        if (ok) m.Run();
    });
    started.wait();
}

PortMonitor::~PortMonitor() = default;

PortWaitObject PortMonitor::WaitObject() const {
    return impl_->notice.get() != nullptr && impl_->deviceMap != nullptr ? impl_->notice.get()
                                                                         : kNoWaitObject;
}

bool PortMonitor::TakeNotice() {
    const HANDLE notice = impl_->notice.get();
    if (notice == nullptr || WaitForSingleObject(notice, 0) != WAIT_OBJECT_0) return false;
    // A change the thread reports between the two calls is seen by the scan that follows.
    ResetEvent(notice);
    return true;
}

std::string PortMonitor::Failure() const {
    std::lock_guard<std::mutex> hold(impl_->lock);
    return impl_->failure;
}

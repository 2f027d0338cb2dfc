// The Windows port monitor under Wine: a port entered into the registry's list of serial ports
// (HARDWARE\DEVICEMAP\SERIALCOMM), as a driver does when an adapter is plugged in, gives a notice
// after which the scan shows it; taken out again, one after which the scan no longer does. Other
// tests write to that list at the same time, so a notice counts once the scan shows the change.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "serial/port_discovery.h"
#include "serial/port_monitor.h"
#include "serial/port_set.h"
#include "serial/win32_api.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// True once a notice comes after which `shows` holds for the scan, within `within`.
bool NoticeShowing(PortMonitor& monitor, const std::function<bool()>& shows,
                   std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (WaitForSingleObject(monitor.WaitObject(), static_cast<DWORD>(left.count())) !=
            WAIT_OBJECT_0) {
            continue;
        }
        if (monitor.TakeNotice() && shows()) return true;
    }
    return false;
}

bool Listed(const char* com) {
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts();
    return std::any_of(found.begin(), found.end(),
                       [&](const SerialPortInfo& port) { return port.name == com; });
}

TEST(Win32PortMonitor, PortsEnteredAndTakenOutOfTheSystemsListGiveNotices) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        GTEST_SKIP() << "SERIALCOMM cannot be written here (Windows without administrator)";
    }
    PortMonitor monitor(PortMonitorSettings{});
    ASSERT_EQ(monitor.Failure(), "");
    ASSERT_NE(monitor.WaitObject(), kNoWaitObject);
    const wchar_t object[] = L"\\Device\\QelpMonitorTest";
    const wchar_t com[] = L"COM41";
    ASSERT_EQ(
        RegSetValueExW(key, object, 0, REG_SZ, reinterpret_cast<const BYTE*>(com), sizeof com),
        ERROR_SUCCESS);
    const bool added = NoticeShowing(
        monitor, [] { return Listed("COM41"); }, 10s);
    // Named, the port is present while listed, and says which device it is.
    const std::vector<SerialPortInfo> named = ScanNamedPorts({"COM41", "COM199"});
    RegDeleteValueW(key, object);
    RegCloseKey(key);
    ASSERT_TRUE(added);
    ASSERT_EQ(named.size(), 1u);
    EXPECT_EQ(PortIdentity(named[0]), "COM41");
    EXPECT_EQ(named[0].devicePath, "\\\\.\\COM41");
    EXPECT_EQ(named[0].description, "\\Device\\QelpMonitorTest");
    EXPECT_TRUE(NoticeShowing(
        monitor, [] { return !Listed("COM41"); }, 10s));
    EXPECT_TRUE(ScanNamedPorts({"COM41"}).empty());
}

}  // namespace

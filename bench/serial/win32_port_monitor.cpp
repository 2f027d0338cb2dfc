// How soon the Windows port monitor tells of a port that a driver enters into the registry's
// list of serial ports (SERIALCOMM) and takes out again, with its default settle times: the time
// from the change to the notice, and the rescan after it. Then the CPU the process uses while a
// thread waits on the monitor. Run under Wine by scripts/build-windows.sh --bench; prints
// figures, asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "monitor_figures.h"
#include "serial/port_discovery.h"
#include "serial/port_monitor.h"
#include "serial/win32_api.h"

namespace {

using monitor_bench::Figures;
using monitor_bench::kRounds;
using monitor_bench::Ms;

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const wchar_t kObject[] = L"\\Device\\QelpMonitorBench";
const wchar_t kCom[] = L"COM42";

void Round(PortMonitor& monitor, Figures& figures, HKEY key, bool add) {
    const auto start = Clock::now();
    if (add) {
        RegSetValueExW(key, kObject, 0, REG_SZ, reinterpret_cast<const BYTE*>(kCom), sizeof kCom);
    } else {
        RegDeleteValueW(key, kObject);
    }
    if (WaitForSingleObject(monitor.WaitObject(), 2000) != WAIT_OBJECT_0 || !monitor.TakeNotice()) {
        ++figures.missed;
        return;
    }
    const auto noticed = Clock::now();
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts();
    figures.toNotice.push_back(Ms(noticed - start));
    figures.scan.push_back(Ms(Clock::now() - noticed));
    const bool listed = std::any_of(found.begin(), found.end(), [](const SerialPortInfo& port) {
        return port.name == "COM42";
    });
    if (listed != add) ++figures.wrongScan;
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

}  // namespace

int main() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                        REG_OPTION_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "SERIALCOMM cannot be written here\n");
        return 1;
    }
    const PortMonitorSettings defaults;
    PortMonitor monitor(defaults);
    std::printf(
        "Settle: a burst ends after %lld ms without a change, %lld ms after its first "
        "at the latest\n",
        static_cast<long long>(defaults.quiet.count()),
        static_cast<long long>(defaults.longest.count()));
    Figures added;
    Figures removed;
    for (int i = 0; i < kRounds; ++i) {
        Round(monitor, added, key, true);
        Round(monitor, removed, key, false);
    }
    RegDeleteValueW(key, kObject);
    RegCloseKey(key);
    std::printf("A port entered into SERIALCOMM and taken out:\n");
    added.Print("entered");
    removed.Print("taken out");

    constexpr DWORD kIdleMs = 10000;
    const double before = ProcessCpuSeconds();
    const bool woken = WaitForSingleObject(monitor.WaitObject(), kIdleMs) == WAIT_OBJECT_0;
    const double cpu = (ProcessCpuSeconds() - before) / (kIdleMs / 1000.0) * 100.0;
    std::printf("Waiting on the monitor for %lu s: CPU %.4f %% of one core%s\n", kIdleMs / 1000,
                cpu, woken ? " (woken by a change)" : "");
    return 0;
}

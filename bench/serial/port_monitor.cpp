// How soon the port monitor tells of a port that appears or vanishes, with its default settle
// times: an adapter plugged into a fake tree whose node links to a real pseudo-terminal, and a
// named link to a pseudo-terminal made by a rename and removed, as the simulator does. For each,
// the time from the change to the notice, and the rescan after it (its time and what it found).
// Then the CPU the process uses while a thread waits on the monitor of this machine's /dev.
// Prints figures; asserts nothing.
#include "serial/port_monitor.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "monitor_figures.h"
#include "process_cpu.h"
#include "serial/port_set.h"
#include "serial/pty_peer.h"
#include "support/fake_port_tree.h"

namespace {

using monitor_bench::Figures;
using monitor_bench::kRounds;
using monitor_bench::Ms;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Waits on the monitor as a station's loop would; false after `within` without a notice.
bool WaitForNotice(PortMonitor& monitor, std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    while (Clock::now() < deadline) {
        pollfd object{monitor.WaitObject(), POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&object, 1, static_cast<int>(std::max<long long>(left.count(), 0))) > 0 &&
            monitor.TakeNotice()) {
            return true;
        }
    }
    return false;
}

// Makes the change, waits for the notice, scans, and checks the scan with `shows`.
void Round(PortMonitor& monitor, Figures& figures, const std::function<void()>& change,
           const std::function<std::vector<SerialPortInfo>()>& scan,
           const std::function<bool(const std::vector<SerialPortInfo>&)>& shows) {
    const auto start = Clock::now();
    change();
    if (!WaitForNotice(monitor, 2s)) {
        ++figures.missed;
        return;
    }
    const auto noticed = Clock::now();
    const std::vector<SerialPortInfo> found = scan();
    figures.toNotice.push_back(Ms(noticed - start));
    figures.scan.push_back(Ms(Clock::now() - noticed));
    if (!shows(found)) ++figures.wrongScan;
}

bool Has(const std::vector<SerialPortInfo>& ports, const std::string& name) {
    return std::any_of(ports.begin(), ports.end(),
                       [&](const SerialPortInfo& port) { return port.name == name; });
}

void Adapters(const PortMonitorSettings& defaults) {
    test::FakePortTree tree;
    for (const char* tty : {"ttyS0", "ttyS1", "ttyS2", "ttyS3"}) tree.AddUart(tty, 0);
    PortMonitorSettings settings = defaults;
    settings.roots = tree.Roots();
    PortMonitor monitor(settings);
    const test::UsbAdapter adapter{"ttyUSB0", "ftdi_sio", "1-1", "FTDI", "FT232R USB UART", "A1"};
    const auto scan = [&] { return DiscoverSerialPorts(tree.Roots()); };
    Figures plugged;
    Figures pulled;
    for (int i = 0; i < kRounds; ++i) {
        PtyPeer device;
        Round(
            monitor, plugged,
            [&] {
                tree.AddUsb(adapter);
                tree.LinkDeviceNode("ttyUSB0", device.SlavePath());
            },
            scan, [](const auto& found) { return Has(found, "ttyUSB0"); });
        Round(
            monitor, pulled, [&] { tree.RemoveUsb(adapter); }, scan,
            [](const auto& found) { return !Has(found, "ttyUSB0"); });
    }
    std::printf("An adapter in a fake tree, its node a link to a pseudo-terminal:\n");
    plugged.Print("plugged in");
    pulled.Print("pulled");
}

void NamedLink(const PortMonitorSettings& defaults) {
    test::FakePortTree tree;  // for its temporary folder
    const std::string link = tree.Roots().dev + "/com1";
    PortMonitorSettings settings = defaults;
    settings.namedPaths = {link};
    PortMonitor monitor(settings);
    const auto scan = [&] { return ScanNamedPorts(settings.namedPaths); };
    Figures made;
    Figures removed;
    for (int i = 0; i < kRounds; ++i) {
        PtyPeer device;
        Round(
            monitor, made,
            [&] {
                fs::create_symlink(device.SlavePath(), link + ".new");
                fs::rename(link + ".new", link);
            },
            scan, [&](const auto& found) { return Has(found, link); });
        Round(
            monitor, removed, [&] { fs::remove(link); }, scan,
            [&](const auto& found) { return !Has(found, link); });
    }
    std::printf("A named link to a pseudo-terminal:\n");
    made.Print("made by a rename");
    removed.Print("removed");
}

void Idle(const PortMonitorSettings& defaults) {
    constexpr auto kSpan = 10s;
    PortMonitor monitor(defaults);
    const double before = ProcessCpuSeconds();
    const auto end = Clock::now() + kSpan;
    int wakes = 0;
    int notices = 0;
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
        pollfd object{monitor.WaitObject(), POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        if (poll(&object, 1, static_cast<int>(left)) <= 0) continue;
        ++wakes;
        if (monitor.TakeNotice()) ++notices;
    }
    const double cpu = (ProcessCpuSeconds() - before) / static_cast<double>(kSpan.count()) * 100.0;
    std::printf("Waiting on the monitor of this machine's /dev for %lld s:\n",
                static_cast<long long>(kSpan.count()));
    std::printf("  CPU %.4f %% of one core; %d wake-ups, %d notices%s\n", cpu, wakes, notices,
                monitor.Failure().empty() ? "" : (" (" + monitor.Failure() + ")").c_str());
}

}  // namespace

int main() {
    const PortMonitorSettings defaults;
    std::printf(
        "Settle: a burst ends after %lld ms without a change, %lld ms after its first "
        "at the latest\n",
        static_cast<long long>(defaults.quiet.count()),
        static_cast<long long>(defaults.longest.count()));
    Adapters(defaults);
    NamedLink(defaults);
    Idle(defaults);
    return 0;
}

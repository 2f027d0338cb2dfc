// Ports that appear and vanish: the monitor's notices over a fake sysfs and /dev and over links
// to real pseudo-terminals, checked by what the scan after each notice finds; and the diff of two
// scans on its own.
#include "serial/port_monitor.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serial/port_set.h"
#include "serial/pty_peer.h"
#include "support/fake_port_tree.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::FakePortTree;
using test::UsbAdapter;

UsbAdapter Ftdi(const std::string& tty, const std::string& usbPort, bool links = true) {
    UsbAdapter adapter{tty, "ftdi_sio", usbPort, "FTDI", "FT232R USB UART", "S" + usbPort};
    adapter.byPath = adapter.byId = links;
    return adapter;
}

// A fake tree to plug adapters into, a folder for links the operator names, and the far ends of
// the pseudo-terminals those links point at.
struct Bench {
    FakePortTree tree;
    std::vector<std::unique_ptr<PtyPeer>> ptys;

    std::string Root() const { return fs::path(tree.Roots().dev).parent_path().string(); }
    std::string Path(const std::string& relative) const { return Root() + "/" + relative; }

    // A new pseudo-terminal behind `link`, made beside it and renamed into place, as a simulator
    // that brings a port back does.
    void LinkToNewPty(const std::string& link) {
        ptys.push_back(std::make_unique<PtyPeer>());
        fs::create_directories(fs::path(Path(link)).parent_path());
        fs::create_symlink(ptys.back()->SlavePath(), Path(link + ".new"));
        fs::rename(Path(link + ".new"), Path(link));
    }
};

// "+ttyUSB0 -ttyUSB1 =ttyS0": what came, went and stayed, by name (named ports relative to the
// bench's root).
std::string Text(const PortSetDiff& diff, const Bench& bench) {
    std::string text;
    const auto add = [&](char mark, const std::vector<SerialPortInfo>& ports) {
        for (const SerialPortInfo& port : ports) {
            std::string name = port.name;
            if (name.rfind(bench.Root() + "/", 0) == 0) name.erase(0, bench.Root().size() + 1);
            text += (text.empty() ? "" : " ") + std::string(1, mark) + name;
        }
    };
    add('+', diff.appeared);
    add('-', diff.vanished);
    add('=', diff.unchanged);
    return text;
}

// A burst ends after a short quiet spell; it is never cut short by a slow test machine.
PortMonitorSettings TestPace() {
    return {{}, {}, 150ms, 5s};
}

// Waits on the monitor as a station's loop does. True at the first notice within `within`;
// `wakes` counts the times the wait ended without one.
bool NextNotice(PortMonitor& monitor, std::chrono::milliseconds within, int* wakes = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd object{monitor.WaitObject(), POLLIN, 0};
        if (poll(&object, 1, static_cast<int>(left.count())) <= 0) continue;
        if (monitor.TakeNotice()) return true;
        if (wakes != nullptr) ++*wakes;
    }
}

// One change to the ports, possibly in parts that come while the owner of the monitor is already
// taking notices (a node, its links, its permissions); then the diff of the scan after the one
// notice it gives, or none for no notice.
struct Step {
    std::vector<std::function<void(Bench&)>> parts;
    std::optional<std::string> diff;
};

struct MonitorCase {
    const char* name;
    std::vector<std::string> named;  // relative to the bench's root; none: the system's ports
    std::function<void(Bench&)> setup;
    std::vector<Step> steps;
    std::optional<std::string> sinceStart;  // the diff of the last scan against the first
};

void PrintTo(const MonitorCase& c, std::ostream* out) {
    *out << c.name;
}

class Monitor : public testing::TestWithParam<MonitorCase> {};

TEST_P(Monitor, EachChangeGivesOneNoticeAfterWhichTheScanShowsIt) {
    const MonitorCase& c = GetParam();
    Bench bench;
    c.setup(bench);
    PortMonitorSettings settings = TestPace();
    settings.roots = bench.tree.Roots();
    for (const std::string& name : c.named) settings.namedPaths.push_back(bench.Path(name));
    const auto scan = [&] {
        return c.named.empty() ? DiscoverSerialPorts(settings.roots)
                               : ScanNamedPorts(settings.namedPaths);
    };
    const auto noNoticeWithin = 3 * settings.quiet;

    PortMonitor monitor(settings);
    ASSERT_EQ(monitor.Failure(), "");
    const std::vector<SerialPortInfo> first = scan();
    std::vector<SerialPortInfo> last = first;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i + 1));
        const Step& step = c.steps[i];
        for (std::size_t part = 0; part < step.parts.size(); ++part) {
            step.parts[part](bench);
            if (part + 1 == step.parts.size()) break;
            // The part has woken the waiter (inotify queues the event in the call that makes
            // it), and the burst is not over.
            pollfd object{monitor.WaitObject(), POLLIN, 0};
            ASSERT_EQ(poll(&object, 1, 5000), 1);
            EXPECT_FALSE(monitor.TakeNotice());
        }
        if (!step.diff) {
            EXPECT_FALSE(NextNotice(monitor, noNoticeWithin));
            continue;
        }
        ASSERT_TRUE(NextNotice(monitor, 5s));
        const std::vector<SerialPortInfo> now = scan();
        EXPECT_EQ(Text(DiffPortSets(last, now), bench), *step.diff);
        last = now;
    }
    if (c.sinceStart) {
        EXPECT_EQ(Text(DiffPortSets(first, last), bench), *c.sinceStart);
    }

    // Nothing more: each burst gave one notice. Over a fake tree nothing else happens in the
    // watched folders, so the waiting thread sleeps throughout.
    int wakes = 0;
    EXPECT_FALSE(NextNotice(monitor, noNoticeWithin, &wakes));
    if (c.named.empty()) {
        EXPECT_EQ(wakes, 0);
    }
    EXPECT_EQ(monitor.Failure(), "");
}

const std::string kById = "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";

INSTANTIATE_TEST_SUITE_P(
    Changes, Monitor,
    testing::Values(
        MonitorCase{
            "AdapterAppearsAndVanishes",
            {},
            [](Bench& b) { b.tree.AddUart("ttyS0", 4); },
            {{{[](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB0", "1-1")); }}, "+ttyUSB0 =ttyS0"},
             {{[](Bench& b) { b.tree.RemoveUsb(Ftdi("ttyUSB0", "1-1")); }}, "-ttyUSB0 =ttyS0"}},
            std::nullopt},
        // udev's order: the node, its links (by-id and by-path made with the first adapter),
        // then its owner and mode.
        MonitorCase{"NodeLinksAndPermissionsAreOneNotice",
                    {},
                    [](Bench&) {},
                    {{{[](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB0", "1-1", false)); },
                       [](Bench& b) { b.tree.AddStableLinks(Ftdi("ttyUSB0", "1-1")); },
                       [](Bench& b) { chmod(b.tree.DevicePath("ttyUSB0").c_str(), 0660); }},
                      "+ttyUSB0"}},
                    std::nullopt},
        MonitorCase{"SeveralAdaptersAtOnceAreOneNotice",
                    {},
                    [](Bench&) {},
                    {{{[](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB0", "1-1")); },
                       [](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB1", "1-2")); },
                       [](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB2", "1-3")); }},
                      "+ttyUSB0 +ttyUSB1 +ttyUSB2"}},
                    std::nullopt},
        // Links that come after the node's notice: the first adapter's make the folders, the
        // second's only the watches of those folders see. A port's identity moves from its node
        // to its socket.
        MonitorCase{"LinksThatComeLate",
                    {},
                    [](Bench&) {},
                    {{{[](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB0", "1-1", false)); }}, "+ttyUSB0"},
                     {{[](Bench& b) { b.tree.AddStableLinks(Ftdi("ttyUSB0", "1-1")); }},
                      "+ttyUSB0 -ttyUSB0"},
                     {{[](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB1", "1-2", false)); }},
                      "+ttyUSB1 =ttyUSB0"},
                     {{[](Bench& b) { b.tree.AddStableLinks(Ftdi("ttyUSB1", "1-2")); }},
                      "+ttyUSB1 -ttyUSB1 =ttyUSB0"}},
                    std::nullopt},
        // Pulled, then another node for the same socket: the same port again.
        MonitorCase{"AdapterComesBackUnderAnotherNode",
                    {},
                    [](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB0", "1-1")); },
                    {{{[](Bench& b) { b.tree.RemoveUsb(Ftdi("ttyUSB0", "1-1")); }}, "-ttyUSB0"},
                     {{[](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB1", "1-1")); }}, "+ttyUSB1"}},
                    "=ttyUSB1"},
        MonitorCase{"OtherDevicesGiveNoNotice",
                    {},
                    [](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB0", "1-1")); },
                    {{{[](Bench& b) {
                          b.tree.AddVirtual("loop0");
                          fs::create_directory(b.tree.Roots().dev + "/input");
                          chmod(b.tree.Roots().dev.c_str(), 0750);
                      }},
                      std::nullopt}},
                    std::nullopt},
        // A simulator's port: its link removed, made again by a rename, replaced while present;
        // other names in the folder do not count.
        MonitorCase{"NamedLinkToAPseudoTerminal",
                    {"named/com1", "named/com2"},
                    [](Bench& b) { b.LinkToNewPty("named/com1"); },
                    {{{[](Bench& b) { fs::remove(b.Path("named/com1")); }}, "-named/com1"},
                     {{[](Bench& b) { b.LinkToNewPty("named/com1"); }}, "+named/com1"},
                     {{[](Bench& b) { b.LinkToNewPty("named/com1"); }}, "=named/com1"},
                     {{[](Bench& b) { b.LinkToNewPty("named/other"); }}, std::nullopt}},
                    std::nullopt},
        // The link stays while what it points at goes and comes back. (A closed pseudo-terminal
        // goes the same way, but another program may get its number at once.)
        MonitorCase{"NamedLinksTargetGoesAndComesBack",
                    {"named/com1"},
                    [](Bench& b) {
                        b.tree.AddUsb(Ftdi("ttyUSB0", "1-1"));
                        fs::create_directories(b.Path("named"));
                        fs::create_symlink(b.tree.DevicePath("ttyUSB0"), b.Path("named/com1"));
                    },
                    {{{[](Bench& b) { b.tree.RemoveUsb(Ftdi("ttyUSB0", "1-1")); }}, "-named/com1"},
                     {{[](Bench& b) { b.tree.AddUsb(Ftdi("ttyUSB0", "1-1")); }}, "+named/com1"}},
                    std::nullopt},
        // Each folder on the way is watched once its parent shows it; the link itself only the
        // watch of by-id can see.
        MonitorCase{"NamedByIdLinkBeforeItsFoldersExist",
                    {kById},
                    [](Bench&) {},
                    {{{[](Bench& b) { fs::create_directory(b.Path("dev/serial")); },
                       [](Bench& b) { fs::create_directory(b.Path("dev/serial/by-id")); }},
                      ""},
                     {{[](Bench& b) { b.LinkToNewPty(kById); }}, "+" + kById}},
                    std::nullopt}),
    [](const testing::TestParamInfo<MonitorCase>& p) { return std::string(p.param.name); });

// Changes that never pause (a hub of adapters enumerating one by one) still give a notice: a burst
// ends `longest` after its first change at the latest.
TEST(MonitorBurst, ChangesWithoutPauseStillGiveANotice) {
    FakePortTree tree;
    PortMonitorSettings settings = TestPace();
    settings.roots = tree.Roots();
    settings.longest = 400ms;
    PortMonitor monitor(settings);
    const auto gap = settings.quiet / 3;
    bool noticed = false;
    for (int i = 0; i < 30 && !noticed; ++i) {  // 30 gaps: several times `longest`
        tree.AddUsb(Ftdi("ttyUSB" + std::to_string(i), "1-" + std::to_string(i + 1)));
        noticed = NextNotice(monitor, gap);
    }
    EXPECT_TRUE(noticed);
}

TEST(PortSetDiff, PortsAreKnownBySocketThenSerialNumberThenNode) {
    const auto port = [](const char* name, const char* stableName) {
        return SerialPortInfo{name, std::string("/dev/") + name, stableName, "", ""};
    };
    const std::vector<SerialPortInfo> before = {
        port("ttyS0", ""), port("ttyUSB0", "/dev/serial/by-path/usb-0:1"),
        port("ttyUSB1", "/dev/serial/by-id/usb-FTDI_A1"), port("ttyUSB2", "")};
    // Renumbered by the kernel after a replug: the socket and the serial number still tell.
    const std::vector<SerialPortInfo> after = {
        port("ttyS0", ""), port("ttyUSB3", "/dev/serial/by-path/usb-0:1"),
        port("ttyUSB4", "/dev/serial/by-id/usb-FTDI_A1"), port("ttyUSB5", "")};
    const PortSetDiff diff = DiffPortSets(before, after);
    const auto names = [](const std::vector<SerialPortInfo>& ports) {
        std::vector<std::string> list;
        for (const SerialPortInfo& p : ports) list.push_back(p.name);
        return list;
    };
    EXPECT_EQ(names(diff.unchanged), (std::vector<std::string>{"ttyS0", "ttyUSB3", "ttyUSB4"}));
    EXPECT_EQ(names(diff.appeared), std::vector<std::string>{"ttyUSB5"});
    EXPECT_EQ(names(diff.vanished), std::vector<std::string>{"ttyUSB2"});
}

}  // namespace

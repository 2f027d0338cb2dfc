// Serial port discovery and the COM port mapping over fake sysfs and /dev trees laid out as Linux
// lays them out: which terminals count as ports, their order, their descriptions, and which device
// COM1 and COM2 denote with and without the environment's say.

#include "serial/port_discovery.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "serial/port_map.h"
#include "support/fake_port_tree.h"

namespace {

using test::FakePortTree;
using test::UsbAdapter;

UsbAdapter Ftdi(const std::string& tty, const std::string& usbPort,
                const std::string& serial = "A9XYZ") {
    return {tty, "ftdi_sio", usbPort, "FTDI", "FT232R USB UART", serial};
}

UsbAdapter Prolific(const std::string& tty, const std::string& usbPort) {
    return {tty, "pl2303", usbPort, "Prolific Technology Inc.", "USB-Serial Controller",
            "",  "067b",   "2303"};
}

UsbAdapter Arduino(const std::string& tty, const std::string& usbPort) {
    return {tty,           "cdc_acm", usbPort, "Arduino (www.arduino.cc)",
            "Arduino Uno", "7543931", "2341",  "0043"};
}

// What a PC without COM ports has: the 8250 driver's four placeholders and the virtual terminals.
void PlainPc(FakePortTree& tree, bool serialBase = false) {
    for (const char* tty : {"console", "ptmx", "tty", "tty0", "tty1"}) tree.AddVirtual(tty);
    for (const char* tty : {"ttyS0", "ttyS1", "ttyS2", "ttyS3"}) tree.AddUart(tty, 0, serialBase);
}

// A PC with one COM port: ttyS0 is real, ttyS1-3 are placeholders.
void PcWithComPort(FakePortTree& tree, bool serialBase = false) {
    for (const char* tty : {"console", "ptmx", "tty", "tty0", "tty1"}) tree.AddVirtual(tty);
    tree.AddUart("ttyS0", 4, serialBase);
    for (const char* tty : {"ttyS1", "ttyS2", "ttyS3"}) tree.AddUart(tty, 0, serialBase);
}

struct DiscoveryCase {
    const char* name;
    std::function<void(FakePortTree&)> build;
    std::vector<std::string> order;         // the terminals found, in order
    std::vector<std::string> descriptions;  // theirs, in the same order
};

void PrintTo(const DiscoveryCase& c, std::ostream* out) {
    *out << c.name;
}

class Discovery : public testing::TestWithParam<DiscoveryCase> {};

TEST_P(Discovery, FindsTheRealPortsInTheirStableOrder) {
    const DiscoveryCase& c = GetParam();
    FakePortTree tree;
    c.build(tree);
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts(tree.Roots());
    std::vector<std::string> names;
    std::vector<std::string> descriptions;
    for (const SerialPortInfo& port : found) {
        names.push_back(port.name);
        descriptions.push_back(port.description);
        EXPECT_EQ(port.devicePath, tree.DevicePath(port.name));
    }
    EXPECT_EQ(names, c.order);
    if (!c.descriptions.empty()) {
        EXPECT_EQ(descriptions, c.descriptions);
    }
}

const std::string kFtdi = "FTDI FT232R USB UART, serial A9XYZ";
const std::string kUart = "built-in serial port (16550A UART)";

INSTANTIATE_TEST_SUITE_P(
    Trees, Discovery,
    testing::Values(
        DiscoveryCase{"EmptySysfs", [](FakePortTree&) {}, {}, {}},
        DiscoveryCase{"PlaceholdersAndVirtualTerminalsOnly",
                      [](FakePortTree& tree) { PlainPc(tree); },
                      {},
                      {}},
        DiscoveryCase{
            "PlaceholdersOnANewerKernel", [](FakePortTree& tree) { PlainPc(tree, true); }, {}, {}},
        DiscoveryCase{"PlaceholdersWithoutTypeAttributeFailTheProbe",
                      [](FakePortTree& tree) {
                          tree.AddUart("ttyS1", 0, false, false);
                          tree.AddUart("ttyS2", 0, true, false);
                      },
                      {},
                      {}},
        DiscoveryCase{"AdapterAlone",
                      [](FakePortTree& tree) {
                          PlainPc(tree);
                          tree.AddUsb(Ftdi("ttyUSB0", "1-1"));
                      },
                      {"ttyUSB0"},
                      {kFtdi}},
        DiscoveryCase{"UartBeforeAdapter",
                      [](FakePortTree& tree) {
                          tree.AddUsb(Ftdi("ttyUSB0", "1-1"));
                          PcWithComPort(tree);
                      },
                      {"ttyS0", "ttyUSB0"},
                      {kUart, kFtdi}},
        DiscoveryCase{"UartBeforeAdapterOnANewerKernel",
                      [](FakePortTree& tree) {
                          tree.AddUsb(Ftdi("ttyUSB0", "1-1"));
                          PcWithComPort(tree, true);
                      },
                      {"ttyS0", "ttyUSB0"},
                      {kUart, kFtdi}},
        DiscoveryCase{"UartsByNumber",
                      [](FakePortTree& tree) {
                          tree.AddUart("ttyS10", 4);
                          tree.AddUart("ttyS2", 1);
                          tree.AddUart("ttyS3", 0);
                      },
                      {"ttyS2", "ttyS10"},
                      {"built-in serial port (8250 UART)", kUart}},
        DiscoveryCase{"AdaptersBySocketNotByKernelNumber",
                      [](FakePortTree& tree) {
                          tree.AddUsb(Ftdi("ttyUSB0", "1-10", "B1"));
                          tree.AddUsb(Prolific("ttyUSB1", "1-2"));
                          tree.AddUsb(Arduino("ttyACM0", "1-3"));
                      },
                      {"ttyUSB1", "ttyACM0", "ttyUSB0"},
                      {"Prolific Technology Inc. USB-Serial Controller",
                       "Arduino (www.arduino.cc) Arduino Uno, serial 7543931",
                       "FTDI FT232R USB UART, serial B1"}},
        DiscoveryCase{"AdaptersByIdWithoutPathLinks",
                      [](FakePortTree& tree) {
                          UsbAdapter second = Prolific("ttyUSB0", "1-1");
                          UsbAdapter first = Ftdi("ttyUSB1", "1-2");
                          second.byPath = first.byPath = false;
                          tree.AddUsb(second);
                          tree.AddUsb(first);
                      },
                      {"ttyUSB1", "ttyUSB0"},
                      {}},
        DiscoveryCase{"AdaptersWithoutLinksByNumber",
                      [](FakePortTree& tree) {
                          UsbAdapter tenth = Ftdi("ttyUSB10", "1-1");
                          UsbAdapter second = Ftdi("ttyUSB2", "1-2");
                          UsbAdapter bare = {"ttyUSB3", "ch341", "1-3",  "",    "",
                                             "",        "1a86",  "7523", false, false};
                          tenth.byPath = tenth.byId = second.byPath = second.byId = false;
                          tree.AddUsb(tenth);
                          tree.AddUsb(second);
                          tree.AddUsb(bare);
                      },
                      {"ttyUSB2", "ttyUSB3", "ttyUSB10"},
                      {"FTDI FT232R USB UART, serial A9XYZ", "USB serial adapter 1a86:7523 (ch341)",
                       "FTDI FT232R USB UART, serial A9XYZ"}},
        // Found by tests/fuzz: an adapter's strings reach the terminal of --list-ports.
        DiscoveryCase{
            "ControlCharactersInTheAdaptersStringsShowAsQuestionMarks",
            [](FakePortTree& tree) {
                tree.AddUsb({"ttyUSB0", "ftdi_sio", "1-1", "FT\tDI", "\x1b[2JFT232R", "A9\x7fXYZ"});
            },
            {"ttyUSB0"},
            {"FT?DI ?[2JFT232R, serial A9?XYZ"}}),
    [](const testing::TestParamInfo<DiscoveryCase>& p) { return std::string(p.param.name); });

// The environment as a case sets it; restored afterwards.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* com1, const char* com2) {
        Set("QELPUPD_COM1", com1);
        Set("QELPUPD_COM2", com2);
    }
    ~ScopedEnvironment() {
        unsetenv("QELPUPD_COM1");
        unsetenv("QELPUPD_COM2");
    }

  private:
    static void Set(const char* variable, const char* value) {
        if (value != nullptr) {
            setenv(variable, value, 1);
        } else {
            unsetenv(variable);
        }
    }
};

struct MappingCase {
    const char* name;
    std::function<void(FakePortTree&)> build;
    const char* com1Variable;  // nullptr: unset; "@ttyUSB0": the fake tree's device of that name
    const char* com2Variable;
    std::string com1;  // the device: "@ttyUSB0" in the fake tree, or a path as is
    std::string com2;
};

void PrintTo(const MappingCase& c, std::ostream* out) {
    *out << c.name;
}

class Mapping : public testing::TestWithParam<MappingCase> {};

std::string InTree(const FakePortTree& tree, const std::string& path) {
    return !path.empty() && path[0] == '@' ? tree.DevicePath(path.substr(1)) : path;
}

TEST_P(Mapping, Com1AndCom2) {
    const MappingCase& c = GetParam();
    FakePortTree tree;
    c.build(tree);
    const std::string com1Variable = c.com1Variable ? InTree(tree, c.com1Variable) : "";
    const std::string com2Variable = c.com2Variable ? InTree(tree, c.com2Variable) : "";
    ScopedEnvironment environment(c.com1Variable ? com1Variable.c_str() : nullptr,
                                  c.com2Variable ? com2Variable.c_str() : nullptr);

    const std::vector<PortMapping> offered = MapOfferedPorts(DiscoverSerialPorts(tree.Roots()));
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[0].name, "COM1");
    EXPECT_EQ(offered[1].name, "COM2");
    EXPECT_EQ(offered[0].devicePath, InTree(tree, c.com1));
    EXPECT_EQ(offered[1].devicePath, InTree(tree, c.com2));
    // Opening by name reaches the same devices.
    EXPECT_EQ(MapPort("COM1", tree.Roots()).devicePath, offered[0].devicePath);
    EXPECT_EQ(MapPort("COM2", tree.Roots()).devicePath, offered[1].devicePath);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, Mapping,
    testing::Values(MappingCase{"NothingFoundFallsBackToTheFirstUarts",
                                [](FakePortTree& tree) { PlainPc(tree); }, nullptr, nullptr,
                                "/dev/ttyS0", "/dev/ttyS1"},
                    MappingCase{"AdapterAloneIsCom1",
                                [](FakePortTree& tree) {
                                    PlainPc(tree);
                                    tree.AddUsb(Ftdi("ttyUSB0", "1-1"));
                                },
                                nullptr, nullptr, "@ttyUSB0", "/dev/ttyS1"},
                    MappingCase{"UartIsCom1AndAdapterCom2",
                                [](FakePortTree& tree) {
                                    PcWithComPort(tree);
                                    tree.AddUsb(Ftdi("ttyUSB0", "1-1"));
                                },
                                nullptr, nullptr, "@ttyS0", "@ttyUSB0"},
                    MappingCase{"TwoAdaptersByTheirSockets",
                                [](FakePortTree& tree) {
                                    tree.AddUsb(Ftdi("ttyUSB0", "1-4"));
                                    tree.AddUsb(Ftdi("ttyUSB1", "1-3", "C2"));
                                },
                                nullptr, nullptr, "@ttyUSB1", "@ttyUSB0"},
                    MappingCase{"EnvironmentWinsOverDiscovery",
                                [](FakePortTree& tree) {
                                    tree.AddUsb(Ftdi("ttyUSB0", "1-1"));
                                    tree.AddUsb(Ftdi("ttyUSB1", "1-2", "C2"));
                                },
                                "/dev/pts/7", "@ttyUSB0", "/dev/pts/7", "@ttyUSB0"},
                    MappingCase{"EnvironmentForCom2OnlyLeavesCom1ToDiscovery",
                                [](FakePortTree& tree) { tree.AddUsb(Ftdi("ttyUSB0", "1-1")); },
                                nullptr, "/dev/pts/7", "@ttyUSB0", "/dev/pts/7"},
                    MappingCase{"EmptyVariableCountsAsUnset",
                                [](FakePortTree& tree) { tree.AddUsb(Ftdi("ttyUSB0", "1-1")); }, "",
                                "", "@ttyUSB0", "/dev/ttyS1"}),
    [](const testing::TestParamInfo<MappingCase>& p) { return std::string(p.param.name); });

TEST(MappingText, EachEntryTellsTheOperatorWhatTheDeviceIs) {
    FakePortTree tree;
    PlainPc(tree);
    tree.AddUsb(Ftdi("ttyUSB0", "1-1"));
    tree.AddUsb(Prolific("ttyUSB1", "1-2"));
    const std::string byId =
        tree.Roots().dev + "/serial/by-id/" + FakePortTree::ByIdName(Prolific("ttyUSB1", "1-2"));
    ScopedEnvironment environment(nullptr, byId.c_str());
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts(tree.Roots());
    const std::vector<PortMapping> offered = MapOfferedPorts(found, 3);

    EXPECT_EQ(offered[0].Label(), tree.DevicePath("ttyUSB0") + " \u2014 " + kFtdi);
    // A variable that names a found port by another name still says what the port is.
    EXPECT_EQ(
        offered[1].Label(),
        byId + " \u2014 Prolific Technology Inc. USB-Serial Controller (set by QELPUPD_COM2)");
    EXPECT_EQ(offered[2].Label(), "/dev/ttyS2 \u2014 no serial port found for COM3");

    const std::string listing = FormatPortListing(offered, found);
    const std::string expected =
        "COM1: " + offered[0].Label() + "\n" + "COM2: " + offered[1].Label() + "\n" +
        "COM3: " + offered[2].Label() + "\n" + "Serial ports found, in order:\n" + "  " +
        tree.DevicePath("ttyUSB0") + " \u2014 " + kFtdi + "\n      " + found[0].stableName + "\n" +
        "  " + tree.DevicePath("ttyUSB1") +
        " \u2014 Prolific Technology Inc. USB-Serial Controller\n      " + found[1].stableName +
        "\n";
    EXPECT_EQ(listing, expected);
    EXPECT_NE(found[0].stableName.find("/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0"),
              std::string::npos)
        << found[0].stableName;
}

TEST(MappingText, NoComNameMapsToItself) {
    for (const char* name : {"COM0", "COM01", "COM1000", "COMx", "/dev/ttyUSB3"}) {
        const PortMapping port = MapPort(name, std::vector<SerialPortInfo>{});
        EXPECT_EQ(port.devicePath, name);
        EXPECT_EQ(port.description, "") << name;
    }
}

// Windows lists its ports itself (win32_port_scan.cpp): each entry is a port, in COM number order,
// described as the Device Manager names it, with its maker, and shown without the \\.\ prefix.
TEST(ListedPorts, ComeByNumberWithTheDeviceManagersName) {
    const auto listed = [](const char* com, const char* friendlyName, const char* maker) {
        TtyFacts port;
        port.name = com;
        port.devicePath = std::string("\\\\.\\") + com;
        port.listedBySystem = true;
        port.friendlyName = friendlyName;
        port.manufacturer = maker;
        return port;
    };
    const std::vector<SerialPortInfo> found = SelectSerialPorts({
        listed("COM10", "Prolific USB-to-Serial Comm Port (COM10)", "Prolific"),
        listed("COM5", "USB Serial Port (COM5)", "FTDI"),
        listed("COM1", "Communications Port (COM1)", "(Standard port types)"),
        listed("COM7", "", ""),
    });
    std::vector<std::string> labels;
    for (const PortMapping& port : MapOfferedPorts(found, 4)) labels.push_back(port.Label());
    EXPECT_EQ(labels, (std::vector<std::string>{
                          "COM1 \u2014 Communications Port",
                          "COM5 \u2014 USB Serial Port (FTDI)",
                          "COM7 \u2014 serial port",
                          "COM10 \u2014 Prolific USB-to-Serial Comm Port",
                      }));
    EXPECT_EQ(found[1].devicePath, "\\\\.\\COM5");
}

TEST(NaturalOrder, NumbersCompareAsNumbers) {
    const std::vector<std::string> sorted = {"ttyACM0", "ttyS1",   "ttyS2",   "ttyS02x",
                                             "ttyS10",  "ttyUSB9", "ttyUSB10"};
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        for (std::size_t j = 0; j < sorted.size(); ++j) {
            EXPECT_EQ(NaturalLess(sorted[i], sorted[j]), i < j) << sorted[i] << " " << sorted[j];
        }
    }
}

}  // namespace

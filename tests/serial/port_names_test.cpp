// The rules that turn a port name into a device (port_map.h), over the ports a system lists, for
// both ways of naming: Windows' own names and Linux device paths. The same table runs on both
// systems; no port is opened.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/port_map.h"

namespace {

// A port of Windows' list, as win32_port_scan.cpp reads it.
TtyFacts Listed(const std::string& name, const std::string& object,
                const std::string& deviceClass = "", const std::string& enumerator = "") {
    TtyFacts port;
    port.name = name;
    port.devicePath = "\\\\.\\" + name;
    port.hasDevice = true;
    port.listedBySystem = true;
    port.driver = object;
    port.deviceClass = deviceClass;
    port.enumerator = enumerator;
    return port;
}

// A station PC: COM3 to COM12, a Bluetooth link on COM4 (Wine and Windows alike name its device
// object), a virtual port "CNCA0", listed in no particular order.
std::vector<TtyFacts> Station() {
    std::vector<TtyFacts> ports = {Listed("CNCA0", "\\Device\\com0com10"),
                                   Listed("COM4", "\\Device\\BthModem0")};
    for (int n = 12; n >= 3; --n) {
        if (n != 4)
            ports.push_back(Listed("COM" + std::to_string(n), "\\Device\\VCP" + std::to_string(n)));
    }
    return ports;
}

// A Linux PC with a COM port and a USB adapter.
std::vector<TtyFacts> LinuxPc() {
    TtyFacts uart;
    uart.name = "ttyS0";
    uart.devicePath = "/dev/ttyS0";
    uart.hasDevice = true;
    uart.driver = "serial";
    uart.bus = "pnp";
    uart.uartType = 4;
    TtyFacts adapter;
    adapter.name = "ttyUSB0";
    adapter.devicePath = "/dev/ttyUSB0";
    adapter.hasDevice = true;
    adapter.driver = "ftdi_sio";
    adapter.bus = "usb-serial";
    adapter.onUsb = true;
    return {adapter, uart};
}

struct NameCase {
    const char* title;
    PortNaming naming;
    std::vector<TtyFacts> (*system)();
    std::string asked;
    std::string variable;  // QELPUPD_COMn's value; empty: unset
    std::string name;      // what the record and the messages say
    std::string device;    // what opens
};

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.title;
}

class PortNames : public testing::TestWithParam<NameCase> {};

TEST_P(PortNames, NameTheDeviceThatOpens) {
    const NameCase& c = GetParam();
    const PortMapping port =
        MapPortName(c.asked, c.variable, SelectSerialPorts(c.system()), c.naming);
    EXPECT_EQ(port.name, c.name);
    EXPECT_EQ(port.devicePath, c.device);
}

std::vector<TtyFacts> Nothing() {
    return {};
}
std::vector<TtyFacts> BuiltInAndAdapter() {
    return {Listed("COM5", "\\Device\\VCP0"), Listed("COM1", "\\Device\\Serial0", "Ports", "ACPI")};
}
std::vector<TtyFacts> Com2AndAdapter() {
    return {Listed("COM5", "\\Device\\VCP0"), Listed("COM2", "\\Device\\Serial1")};
}
// A laptop: the Bluetooth links took COM1 and COM3 (seen by the enumerator alone on COM3), a
// modem COM6; the adapter is COM5.
std::vector<TtyFacts> Laptop() {
    return {Listed("COM1", "\\Device\\BthModem0"),
            Listed("COM3", "\\Device\\Serial2", "Ports", "BTHENUM"),
            Listed("COM6", "\\Device\\USBSER000", "Modem", "USB"),
            Listed("COM5", "\\Device\\VCP0")};
}

constexpr PortNaming kWin = PortNaming::kWindows;
constexpr PortNaming kLinux = PortNaming::kDevicePaths;

INSTANTIATE_TEST_SUITE_P(
    Rules, PortNames,
    testing::Values(
        NameCase{"ListedComIsThatPort", kWin, Station, "COM7", "", "COM7", "\\\\.\\COM7"},
        NameCase{"ListedComInAnyCase", kWin, Station, "com7", "", "COM7", "\\\\.\\COM7"},
        NameCase{"ListedByDevicePath", kWin, Station, "\\\\.\\com12", "", "COM12", "\\\\.\\COM12"},
        NameCase{"ListedOtherNameOpensAsDevice", kWin, Station, "cnca0", "", "CNCA0",
                 "\\\\.\\CNCA0"},
        NameCase{"UnlistedBareNameIsNoFile", kWin, Station, "CNCB0", "", "CNCB0", "\\\\.\\CNCB0"},
        NameCase{"UnlistedHighComOpensByName", kWin, Station, "com13", "", "COM13", "\\\\.\\COM13"},
        NameCase{"PathStaysAPath", kWin, Station, "C:\\ports\\x", "", "C:\\ports\\x",
                 "C:\\ports\\x"},
        NameCase{"Com1IsTheFirstPortButNoBluetooth", kWin, Station, "COM1", "", "COM1",
                 "\\\\.\\COM3"},
        NameCase{"Com2IsTheNext", kWin, Station, "com2", "", "COM2", "\\\\.\\COM5"},
        NameCase{"VariableNamesAListedPort", kWin, Station, "COM1", "com7", "COM1", "\\\\.\\COM7"},
        NameCase{"VariableNamesAnUnlistedPort", kWin, Station, "COM2", "COM21", "COM2",
                 "\\\\.\\COM21"},
        NameCase{"BluetoothNamedOutrightOpens", kWin, Station, "COM4", "", "COM4", "\\\\.\\COM4"},
        NameCase{"ListedCom1IsItself", kWin, BuiltInAndAdapter, "COM1", "", "COM1", "\\\\.\\COM1"},
        NameCase{"Com2SkipsThePortCom1Denotes", kWin, BuiltInAndAdapter, "COM2", "", "COM2",
                 "\\\\.\\COM5"},
        NameCase{"Com1SkipsThePortCom2Denotes", kWin, Com2AndAdapter, "COM1", "", "COM1",
                 "\\\\.\\COM5"},
        NameCase{"BluetoothListedAsCom1IsNotCom1", kWin, Laptop, "COM1", "", "COM1", "\\\\.\\COM5"},
        NameCase{"NoPortLeftForCom2", kWin, Laptop, "COM2", "", "COM2", "\\\\.\\COM2"},
        NameCase{"NothingListed", kWin, Nothing, "COM1", "", "COM1", "\\\\.\\COM1"},
        NameCase{"LinuxComNIsTheNthPort", kLinux, LinuxPc, "COM2", "", "COM2", "/dev/ttyUSB0"},
        NameCase{"LinuxComNBeyondThePortsFound", kLinux, LinuxPc, "COM3", "", "COM3", "/dev/ttyS2"},
        NameCase{"LinuxNamesAreCaseSensitivePaths", kLinux, LinuxPc, "com1", "", "com1", "com1"},
        NameCase{"LinuxVariable", kLinux, LinuxPc, "COM1", "/dev/pts/7", "COM1", "/dev/pts/7"}),
    [](const testing::TestParamInfo<NameCase>& p) { return std::string(p.param.title); });

TEST(PortListing, ShowsWhatComNStandsForAndWhatWasSkipped) {
    const std::vector<SerialPortInfo> found = SelectSerialPorts(Laptop());
    std::vector<PortMapping> offered;
    for (const char* name : {"COM1", "COM2"}) offered.push_back(MapPortName(name, "", found, kWin));
    EXPECT_EQ(FormatPortListing(offered, found),
              "COM1: COM5 \u2014 serial port\n"
              "COM2: COM2 \u2014 no serial port found for COM2\n"
              "Serial ports found, in order:\n"
              "  COM5 \u2014 serial port\n"
              "Skipped, never COM1 or COM2:\n"
              "  COM1 \u2014 serial port, a Bluetooth link\n"
              "  COM3 \u2014 serial port, a Bluetooth link\n"
              "  COM6 \u2014 serial port, a modem\n");
    // Named outright, the port says what it is.
    EXPECT_EQ(MapPortName("COM6", "", found, kWin).Label(), "COM6 \u2014 serial port, a modem");
}

}  // namespace

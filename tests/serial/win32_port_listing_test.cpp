// The Windows side of port discovery and mapping, under Wine: the registry's list of serial ports
// (HARDWARE\DEVICEMAP\SERIALCOMM, to which the test adds entries of its own) ordered by COM number,
// the dialog's COM1 and COM2 as the first two of them, the labels the operator sees, and the
// environment's say. Also the DCB a port is given. No line is opened.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "serial/port_map.h"
#include "serial/win32_api.h"
#include "serial/win32_comm_settings.h"

namespace {

const wchar_t kSerialComm[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Adds SERIALCOMM entries as drivers do, and removes them again. Tests run side by side and the
// port monitor's adds its own meanwhile, so only this test's entries are looked at.
class PortListingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSerialComm, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS) {
            GTEST_SKIP() << "SERIALCOMM cannot be written here (Windows without administrator)";
        }
        _putenv_s("QELPUPD_COM1", "");
        _putenv_s("QELPUPD_COM2", "");
    }
    void TearDown() override {
        if (key_ == nullptr) return;
        for (const std::wstring& name : added_) RegDeleteValueW(key_, name.c_str());
        RegCloseKey(key_);
    }

    void AddPort(const std::wstring& object, const std::wstring& com) {
        const auto bytes = static_cast<DWORD>((com.size() + 1) * sizeof(wchar_t));
        ASSERT_EQ(RegSetValueExW(key_, object.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(com.c_str()), bytes),
                  ERROR_SUCCESS);
        added_.push_back(object);
        coms_.push_back(com);
    }

    // The test's own ports among those found (the prefix has COM1 as well), in their order.
    std::vector<std::string> Ours(const std::vector<SerialPortInfo>& found) const {
        std::vector<std::string> names;
        for (const SerialPortInfo& port : found) {
            for (const std::wstring& com : coms_) {
                if (WideFromUtf8(port.name) == com)
                    names.push_back(port.name + " " + port.devicePath);
            }
        }
        return names;
    }

    HKEY key_ = nullptr;
    std::vector<std::wstring> added_;
    std::vector<std::wstring> coms_;
};

TEST_F(PortListingTest, ListedPortsComeInCommunicationsPortOrder) {
    AddPort(L"\\Device\\QelpTest2", L"COM29");
    AddPort(L"\\Device\\QelpTest0", L"COM21");
    AddPort(L"\\Device\\QelpTest1", L"COM3");
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts();
    EXPECT_EQ(Ours(found), (std::vector<std::string>{"COM3 \\\\.\\COM3", "COM21 \\\\.\\COM21",
                                                     "COM29 \\\\.\\COM29"}));
    for (size_t i = 1; i < found.size(); ++i) {
        EXPECT_TRUE(NaturalLess(found[i - 1].name, found[i].name))
            << found[i - 1].name << " before " << found[i].name;
    }
    // Without SetupAPI's names (Wine has none for these) a port is just a serial port.
    for (const SerialPortInfo& port : found) {
        if (port.name == "COM21") {
            EXPECT_EQ(port.description, "serial port");
        }
    }
    // COM1 and COM2 of the dialog are the first two found.
    const std::vector<PortMapping> offered = MapOfferedPorts(found);
    ASSERT_EQ(offered.size(), 2u);
    ASSERT_GE(found.size(), 3u);
    EXPECT_EQ(offered[0].devicePath, found[0].devicePath);
    EXPECT_EQ(offered[1].devicePath, found[1].devicePath);
    EXPECT_EQ(offered[1].Label(), found[1].name + " \u2014 " + found[1].description);
}

// Needs no registry entry: a port the environment names is not looked for.
TEST(PortMappingTest, EnvironmentNamesThePortAndFewPortsFallBackToTheirComNumber) {
    _putenv_s("QELPUPD_COM2", "COM21");
    const PortMapping named = MapPort("COM2");
    EXPECT_EQ(named.devicePath, "\\\\.\\COM21");
    EXPECT_EQ(named.Label(), "COM21 \u2014 set by QELPUPD_COM2");
    EXPECT_EQ(MapPort("COM2", std::vector<SerialPortInfo>{}).devicePath, "\\\\.\\COM21");
    _putenv_s("QELPUPD_COM2", "");
    const PortMapping fallback = MapPort("COM2", std::vector<SerialPortInfo>{});
    EXPECT_EQ(fallback.devicePath, "\\\\.\\COM2");
    EXPECT_EQ(fallback.Label(), "COM2 \u2014 no serial port found for COM2");
}

TEST(Win32LineSettingsTest, TheUpdateSettingsMakeARawLineWithHardwareHandshake) {
    DeviceControlBlock settings;
    settings.BaudRate = 19200;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fOutxCtsFlow = 1;
    settings.fOutxDsrFlow = 1;
    settings.fDtrControl = DTR_CONTROL_HANDSHAKE;
    settings.fRtsControl = RTS_CONTROL_HANDSHAKE;
    settings.XonLim = 100;
    settings.XoffLim = 100;
    settings.XonChar = 0x11;
    settings.XoffChar = 0x13;
    // As a port might report itself before: everything that alters binary data switched on.
    DCB dcb{};
    dcb.fNull = dcb.fErrorChar = dcb.fDsrSensitivity = dcb.fAbortOnError = dcb.fOutX = TRUE;
    dcb.Parity = EVENPARITY;
    dcb.EofChar = 0x1a;
    ASSERT_TRUE(ApplyLineSettings(settings, dcb));
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 1u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(dcb.fOutX | dcb.fInX | dcb.fNull | dcb.fErrorChar | dcb.fDsrSensitivity |
                  dcb.fAbortOnError | dcb.fParity,
              0u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.EofChar, 0x1a) << "fields the port owns stay as it reported them";

    using Refusal = void (*)(DeviceControlBlock&);
    const Refusal refusals[] = {[](DeviceControlBlock& s) { s.BaudRate = 0; },
                                [](DeviceControlBlock& s) { s.ByteSize = 4; },
                                [](DeviceControlBlock& s) { s.Parity = 5; }};
    for (const Refusal refused : refusals) {
        DeviceControlBlock bad = settings;
        refused(bad);
        DCB untouched{};
        EXPECT_FALSE(ApplyLineSettings(bad, untouched));
        EXPECT_EQ(untouched.BaudRate, 0u);
    }
}

}  // namespace

// ScanTtys on Windows: the registry's list of serial ports, with SetupAPI's facts about them.
//
//   HKLM\HARDWARE\DEVICEMAP\SERIALCOMM   one value per port present: the driver's device object
//                                        ("\Device\VCP0", "\Device\BthModem0") as the name, the
//                                        port's name ("COM5", or another such as "CNCA0") as data
//   SetupAPI, classes Ports, Modem and   per device: "PortName" in its device key (the port's
//   MultiportSerial                      name), the friendly name ("USB Serial Port (COM5)"), the
//                                        maker, the class and the enumerator ("BTHENUM")
//
// Nothing is opened. A port that SetupAPI does not know (a virtual port of some drivers) is
// still listed, without facts of its own.
#include <cctype>
#include <map>
#include <string>

#include "serial/port_scan.h"
#include "serial/win32_api.h"
// After <windows.h>:
#include <setupapi.h>

namespace {

// The device classes whose devices own serial ports: GUID_DEVCLASS_PORTS (Bluetooth links among
// them), GUID_DEVCLASS_MODEM and GUID_DEVCLASS_MULTIPORTSERIAL.
constexpr GUID kPortClasses[] = {
    {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}},
    {0x4d36e96d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}},
    {0x50906cb8, 0xba12, 0x11d1, {0xbf, 0x5d, 0x00, 0x00, 0xf8, 0x05, 0xf5, 0x30}}};

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A REG_SZ's text without the terminating NULs the data may or may not carry.
std::string RegistryText(const wchar_t* data, DWORD bytes) {
    std::wstring text(data, bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return Utf8FromWide(text);
}

std::string PortNameOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    const HKEY key =
        SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t data[256];
    DWORD bytes = sizeof data;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? RegistryText(data, bytes) : std::string();
}

std::string PropertyOf(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t data[512];
    DWORD bytes = 0;
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, &type,
                                           reinterpret_cast<BYTE*>(data), sizeof data, &bytes) ||
        type != REG_SZ) {
        return {};
    }
    return RegistryText(data, bytes);
}

struct DeviceFacts {
    std::string friendlyName;
    std::string manufacturer;
    std::string deviceClass;
    std::string enumerator;
};

// SetupAPI's facts about the ports present, by upper-case port name.
std::map<std::string, DeviceFacts> FactsOfPorts() {
    std::map<std::string, DeviceFacts> facts;
    for (const GUID& deviceClass : kPortClasses) {
        const HDEVINFO devices =
            SetupDiGetClassDevsW(&deviceClass, nullptr, nullptr, DIGCF_PRESENT);
        if (devices == INVALID_HANDLE_VALUE) continue;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
            const std::string port = PortNameOf(devices, device);
            if (port.empty()) continue;
            facts[Upper(port)] = {PropertyOf(devices, device, SPDRP_FRIENDLYNAME),
                                  PropertyOf(devices, device, SPDRP_MFG),
                                  PropertyOf(devices, device, SPDRP_CLASS),
                                  PropertyOf(devices, device, SPDRP_ENUMERATOR_NAME)};
        }
        SetupDiDestroyDeviceInfoList(devices);
    }
    return facts;
}

}  // namespace

std::vector<TtyFacts> ScanTtys(const SystemRoots&) {
    std::vector<TtyFacts> ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS) {
        return ports;  // no serial port at all: Windows makes the key with the first one
    }
    const std::map<std::string, DeviceFacts> facts = FactsOfPorts();
    for (DWORD i = 0;; ++i) {
        wchar_t object[256];
        DWORD objectLength = 256;
        wchar_t data[256];
        DWORD bytes = sizeof data;
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, i, object, &objectLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &bytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;  // too long to be a port's name
        TtyFacts port;
        port.name = RegistryText(data, bytes);
        if (port.name.empty()) continue;
        // Whatever the name, the port is a device: "CNCA0" as a plain path would be a file.
        port.devicePath = "\\\\.\\" + port.name;
        port.hasDevice = true;
        port.listedBySystem = true;
        port.driver = Utf8FromWide(std::wstring(object, objectLength));
        if (const auto found = facts.find(Upper(port.name)); found != facts.end()) {
            port.friendlyName = found->second.friendlyName;
            port.manufacturer = found->second.manufacturer;
            port.deviceClass = found->second.deviceClass;
            port.enumerator = found->second.enumerator;
        }
        ports.push_back(std::move(port));
    }
    RegCloseKey(key);
    return ports;
}

std::optional<int> UartTypeByIoctl(const std::string&) {
    return std::nullopt;
}

PortNaming SystemPortNaming() {
    return PortNaming::kWindows;
}

std::optional<std::string> ResolvePortName(const std::string& devicePath) {
    std::string name = devicePath;
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    wchar_t target[1024];
    // The first of the names it stands for; the list ends with two NULs.
    if (QueryDosDeviceW(WideFromUtf8(name).c_str(), target, 1024) != 0) {
        return Utf8FromWide(target);
    }
    // A port in the system's list without a DOS name (as a test's entries are under Wine).
    for (const TtyFacts& port : ScanTtys({})) {
        if (Upper(port.name) == Upper(name)) return port.driver;
    }
    if (GetFileAttributesW(WideFromUtf8(devicePath).c_str()) != INVALID_FILE_ATTRIBUTES) {
        return devicePath;
    }
    return std::nullopt;
}

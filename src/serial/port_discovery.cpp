#include "serial/port_discovery.h"

#include <algorithm>
#include <cctype>

namespace {

enum class PortKind {
    kUart,       // a UART of the serial core: a built-in COM port or one on a card
    kUsbSerial,  // a USB serial adapter (usb-serial drivers) or a USB modem (cdc_acm)
    kOther,      // another terminal with hardware behind it
    kListed,     // a port of the system's own list (Windows)
};

// Names of the UART types the 8250 family reports, by their TIOCGSERIAL number.
const char* UartTypeName(int type) {
    switch (type) {
        case 1:
            return "8250";
        case 2:
            return "16450";
        case 3:
            return "16550";
        case 4:
            return "16550A";
        case 6:
            return "16650";
        case 7:
            return "16650V2";
        case 8:
            return "16750";
        case 10:
            return "16C950/954";
        case 11:
            return "16654";
        case 12:
            return "16850";
        default:
            return nullptr;
    }
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string DescribeUsb(const TtyFacts& tty) {
    std::string text;
    if (!tty.product.empty()) {
        // Many adapters repeat their maker in the product string ("FTDI FT232R ...").
        text = tty.manufacturer.empty() || StartsWith(tty.product, tty.manufacturer)
                   ? tty.product
                   : tty.manufacturer + " " + tty.product;
    } else if (!tty.manufacturer.empty()) {
        text = tty.manufacturer + " USB serial adapter";
    } else {
        text = "USB serial adapter";
        if (!tty.vendorId.empty()) text += " " + tty.vendorId + ":" + tty.productId;
    }
    if (!tty.serial.empty()) text += ", serial " + tty.serial;
    // Without descriptor strings the driver is the best hint at what it is.
    if (tty.product.empty() && !tty.driver.empty()) text += " (" + tty.driver + ")";
    return text;
}

std::string DescribeUart(const TtyFacts& tty) {
    std::string text = "serial port";
    if (tty.bus == "pnp" || tty.bus == "platform" || tty.bus == "acpi") text = "built-in " + text;
    if (tty.bus == "pci") text += " on a PCI card";
    if (const char* type = UartTypeName(tty.uartType.value_or(0))) {
        text += std::string(" (") + type + " UART)";
    }
    return text;
}

bool StartsWithAnyCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool SameAnyCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && StartsWithAnyCase(a, b);
}

// Why a port of the system's list is not one to offer, or empty.
std::string SkipReason(const TtyFacts& tty) {
    if (StartsWithAnyCase(tty.driver, "\\Device\\BthModem") ||
        SameAnyCase(tty.enumerator, "BTHENUM") || SameAnyCase(tty.deviceClass, "Bluetooth")) {
        return "a Bluetooth link";
    }
    if (SameAnyCase(tty.deviceClass, "Modem")) return "a modem";
    return {};
}

// "USB Serial Port (FTDI)" from the Device Manager's "USB Serial Port (COM5)" and maker "FTDI".
std::string DescribeListed(const TtyFacts& tty) {
    std::string text = tty.friendlyName;
    // The name ends in the port's own name, which the label shows already.
    const std::string portName = " (" + tty.name + ")";
    if (text.size() >= portName.size() &&
        text.compare(text.size() - portName.size(), portName.size(), portName) == 0) {
        text.erase(text.size() - portName.size());
    }
    if (text.empty()) text = "serial port";
    // Built-in ports name "(Standard port types)" as their maker, which says nothing.
    const std::string& maker = tty.manufacturer;
    if (!maker.empty() && maker.front() != '(' && text.find(maker) == std::string::npos) {
        text += " (" + maker + ")";
    }
    return text;
}

std::string DescribeKind(const TtyFacts& tty, PortKind kind) {
    switch (kind) {
        case PortKind::kUart:
            return DescribeUart(tty);
        case PortKind::kUsbSerial:
            return DescribeUsb(tty);
        case PortKind::kListed:
            return DescribeListed(tty);
        case PortKind::kOther:
            break;
    }
    return "serial device (" + tty.driver + ")";
}

// The adapter's own descriptor strings go into the text, and --list-ports prints it to a terminal.
std::string Describe(const TtyFacts& tty, PortKind kind) {
    return WithoutControlCharacters(DescribeKind(tty, kind));
}

}  // namespace

std::string WithoutControlCharacters(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

int ComNumber(const std::string& name, PortNaming naming) {
    const bool prefixed =
        naming == PortNaming::kWindows ? StartsWithAnyCase(name, "COM") : StartsWith(name, "COM");
    if (!prefixed || name.size() <= 3 || name.size() > 6 || name[3] == '0' ||
        name.find_first_not_of("0123456789", 3) != std::string::npos) {
        return 0;
    }
    return std::stoi(name.substr(3));
}

bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            const std::size_t endA = a.find_first_not_of("0123456789", i);
            const std::size_t endB = b.find_first_not_of("0123456789", j);
            std::string numberA = a.substr(i, endA - i);
            std::string numberB = b.substr(j, endB - j);
            numberA.erase(0, std::min(numberA.find_first_not_of('0'), numberA.size()));
            numberB.erase(0, std::min(numberB.find_first_not_of('0'), numberB.size()));
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            if (numberA != numberB) return numberA < numberB;
            i = endA == std::string::npos ? a.size() : endA;
            j = endB == std::string::npos ? b.size() : endB;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;  // equal but for leading zeros: still a strict order
}

std::vector<SerialPortInfo> SelectSerialPorts(const std::vector<TtyFacts>& ttys) {
    struct Ranked {
        // 0: UARTs and listed COM ports; 1, 2, 3: others by by-path, by-id or device name; 4:
        // listed ports of other names
        int group;
        std::string key;
        SerialPortInfo port;
    };
    std::vector<Ranked> ranked;
    for (const TtyFacts& tty : ttys) {
        PortKind kind;
        if (tty.listedBySystem) {
            kind = PortKind::kListed;
        } else if (!tty.hasDevice) {
            continue;
        } else if (tty.uartType) {
            if (*tty.uartType == 0) continue;  // a placeholder without hardware
            kind = PortKind::kUart;
        } else if (tty.onUsb) {
            kind = PortKind::kUsbSerial;
        } else if (!tty.driver.empty()) {
            kind = PortKind::kOther;
        } else {
            continue;
        }
        Ranked entry{0, tty.name, {tty.name, tty.devicePath, {}, Describe(tty, kind), {}}};
        if (kind == PortKind::kListed) {
            if (ComNumber(tty.name, PortNaming::kWindows) == 0) entry.group = 4;
            entry.port.skipped = SkipReason(tty);
        } else if (kind != PortKind::kUart) {
            if (!tty.byPath.empty()) {
                entry.group = 1;
                entry.port.stableName = tty.byPath;
            } else if (!tty.byId.empty()) {
                entry.group = 2;
                entry.port.stableName = tty.byId;
            } else {
                entry.group = 3;
            }
            if (!entry.port.stableName.empty()) entry.key = entry.port.stableName;
        }
        ranked.push_back(std::move(entry));
    }
    std::sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.group != b.group) return a.group < b.group;
        if (a.key != b.key) return NaturalLess(a.key, b.key);
        return NaturalLess(a.port.name, b.port.name);
    });
    std::vector<SerialPortInfo> ports;
    ports.reserve(ranked.size());
    for (Ranked& entry : ranked) ports.push_back(std::move(entry.port));
    return ports;
}

std::vector<SerialPortInfo> DiscoverSerialPorts(const SystemRoots& roots) {
    return SelectSerialPorts(ScanTtys(roots));
}

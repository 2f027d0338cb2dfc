// ScanTtys on Linux: sysfs and /dev, as udev and the kernel lay them out.
//
//   <sysfs>/class/tty/<name>          a link into <sysfs>/devices/...; "type" for serial core ports
//   <sysfs>/class/tty/<name>/device   the hardware: the usb-serial port (ttyUSB), the USB interface
//                                     (ttyACM), the platform, pnp or pci device (ttyS), or on newer
//                                     kernels a "serial-base" port under its controller
//   <device>/driver, <device>/subsystem   links whose last component names the driver and the bus
//   the nearest USB device above      holds idVendor, idProduct, manufacturer, product, serial
//   <dev>/serial/by-path, by-id       udev's stable links, "../../ttyUSB0"
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "serial/port_discovery.h"
#include "serial/port_scan.h"

namespace fs = std::filesystem;

namespace {

// One attribute's first line, without trailing blanks; empty when there is none.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// The last component of a link's target: "ftdi_sio" for ".../drivers/ftdi_sio".
std::string LinkName(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    return error ? std::string() : target.filename().string();
}

std::optional<int> ParseNumber(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    try {
        return std::stoi(text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// udev's links in one /dev/serial folder: for each terminal, the first link by natural order.
std::map<std::string, std::string> StableLinks(const fs::path& folder) {
    std::map<std::string, std::string> links;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string tty = LinkName(it->path());
        if (tty.empty()) continue;
        const std::string link = it->path().string();
        auto [found, added] = links.emplace(tty, link);
        if (!added && NaturalLess(link, found->second)) found->second = link;
    }
    return links;
}

void ReadHardware(const fs::path& ttyDir, const fs::path& devicesRoot, TtyFacts& tty) {
    std::error_code error;
    fs::path device = fs::canonical(ttyDir / "device", error);
    if (error) return;
    tty.hasDevice = true;
    tty.driver = LinkName(device / "driver");
    tty.bus = LinkName(device / "subsystem");
    // Newer kernels put a port and its controller of their own between the terminal and the
    // hardware; what the operator knows is the hardware.
    const bool serialCore = tty.bus == "serial-base";
    while (tty.bus == "serial-base" && device.has_parent_path() && device != devicesRoot) {
        device = device.parent_path();
        tty.driver = LinkName(device / "driver");
        tty.bus = LinkName(device / "subsystem");
    }
    if (const std::string type = ReadAttribute(ttyDir / "type"); !type.empty()) {
        tty.uartType = ParseNumber(type).value_or(0);
    } else if (serialCore || tty.driver == "serial8250") {
        tty.uartType = UartTypeByIoctl(tty.devicePath).value_or(0);
    }
    for (fs::path up = device; up.has_parent_path() && up != devicesRoot && up != up.root_path();
         up = up.parent_path()) {
        if (!fs::exists(up / "idVendor", error)) continue;
        tty.onUsb = true;
        tty.vendorId = ReadAttribute(up / "idVendor");
        tty.productId = ReadAttribute(up / "idProduct");
        tty.manufacturer = ReadAttribute(up / "manufacturer");
        tty.product = ReadAttribute(up / "product");
        tty.serial = ReadAttribute(up / "serial");
        break;
    }
}

}  // namespace

std::optional<int> UartTypeByIoctl(const std::string& devicePath) {
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    serial_struct info{};
    const int result = ioctl(fd, TIOCGSERIAL, &info);
    close(fd);
    if (result != 0) return std::nullopt;
    return info.type;
}

std::vector<TtyFacts> ScanTtys(const SystemRoots& roots) {
    std::vector<TtyFacts> ttys;
    std::error_code error;
    const fs::path devicesRoot = fs::weakly_canonical(fs::path(roots.sysfs) / "devices", error);
    const fs::path dev(roots.dev);
    const auto byPath = StableLinks(dev / "serial" / "by-path");
    const auto byId = StableLinks(dev / "serial" / "by-id");
    const fs::path classDir = fs::path(roots.sysfs) / "class" / "tty";
    for (fs::directory_iterator it(classDir, error), end; !error && it != end;
         it.increment(error)) {
        TtyFacts tty;
        tty.name = it->path().filename().string();
        tty.devicePath = (dev / tty.name).string();
        ReadHardware(it->path(), devicesRoot, tty);
        if (auto found = byPath.find(tty.name); found != byPath.end()) tty.byPath = found->second;
        if (auto found = byId.find(tty.name); found != byId.end()) tty.byId = found->second;
        ttys.push_back(std::move(tty));
    }
    return ttys;
}

PortNaming SystemPortNaming() {
    return PortNaming::kDevicePaths;
}

std::optional<std::string> ResolvePortName(const std::string& devicePath) {
    std::error_code error;
    const fs::path target = fs::canonical(devicePath, error);
    if (error) return std::nullopt;
    return target.string();
}

#include "support/fake_port_tree.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace fs = std::filesystem;

namespace test {
namespace {

void WriteFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

// A relative link, as sysfs and udev make them.
void Link(const fs::path& link, const fs::path& target) {
    if (fs::is_symlink(link)) return;  // devices that share a parent or a driver
    fs::create_directories(link.parent_path());
    fs::create_directories(target);
    fs::create_directory_symlink(fs::relative(target, link.parent_path()), link);
}

}  // namespace

FakePortTree::FakePortTree() {
    std::string pattern = (fs::temp_directory_path() / "fake-port-tree.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    fs::create_directories(Sys("class/tty"));
    fs::create_directories(root_ + "/dev");
}

FakePortTree::~FakePortTree() {
    std::error_code error;
    fs::remove_all(root_, error);
}

SystemRoots FakePortTree::Roots() const {
    return {root_ + "/sys", root_ + "/dev"};
}

std::string FakePortTree::DevicePath(const std::string& tty) const {
    return root_ + "/dev/" + tty;
}

std::string FakePortTree::Sys(const std::string& relative) const {
    return root_ + "/sys/" + relative;
}

void FakePortTree::SetBus(const std::string& deviceDir, const std::string& bus,
                          const std::string& driver) {
    Link(Sys(deviceDir + "/subsystem"), Sys("bus/" + bus));
    if (!driver.empty()) Link(Sys(deviceDir + "/driver"), Sys("bus/" + bus + "/drivers/" + driver));
}

void FakePortTree::AddTtyEntry(const std::string& tty, const std::string& ttyDir,
                               const std::string& deviceDir) {
    WriteFile(Sys(ttyDir + "/dev"), "188:0\n");
    Link(Sys(ttyDir + "/subsystem"), Sys("class/tty"));
    if (!deviceDir.empty()) Link(Sys(ttyDir + "/device"), Sys(deviceDir));
    Link(Sys("class/tty/" + tty), Sys(ttyDir));
}

void FakePortTree::AddDeviceNode(const std::string& tty) {
    WriteFile(DevicePath(tty), "");
}

void FakePortTree::AddVirtual(const std::string& tty) {
    AddTtyEntry(tty, "devices/virtual/tty/" + tty, "");
    AddDeviceNode(tty);
}

void FakePortTree::AddUart(const std::string& tty, int type, bool serialBase, bool typeAttribute) {
    const std::string line = tty.substr(tty.find_first_of("0123456789"));
    // A real port hangs on the pnp bus, a placeholder on the platform's serial8250 device.
    std::string hardware = type != 0 ? "devices/pnp0/00:0" + line : "devices/platform/serial8250";
    if (type != 0) {
        SetBus(hardware, "pnp", "serial");
    } else {
        SetBus(hardware, "platform", "serial8250");
    }
    std::string device = hardware;
    if (serialBase) {
        const std::string controller =
            type != 0 ? hardware + "/00:0" + line + ":0" : hardware + "/serial8250:0";
        device = controller + "/" + controller.substr(controller.rfind('/') + 1) + "." + line;
        SetBus(controller, "serial-base", "ctrl");
        SetBus(device, "serial-base", "port");
    }
    const std::string ttyDir = device + "/tty/" + tty;
    AddTtyEntry(tty, ttyDir, device);
    if (typeAttribute) WriteFile(Sys(ttyDir + "/type"), std::to_string(type) + "\n");
    AddDeviceNode(tty);
}

std::string FakePortTree::ByPathName(const UsbAdapter& adapter) {
    const std::string port = adapter.usbPort.substr(adapter.usbPort.find('-') + 1);
    const bool acm = adapter.driver == "cdc_acm";
    return "pci-0000:00:14.0-usb-0:" + port + ":1.0" + (acm ? "" : "-port0");
}

std::string FakePortTree::ByIdName(const UsbAdapter& adapter) {
    std::string id = "usb-" + adapter.manufacturer + "_" + adapter.product;
    if (!adapter.serial.empty()) id += "_" + adapter.serial;
    for (char& c : id)
        if (c == ' ') c = '_';
    return id + "-if00" + (adapter.driver == "cdc_acm" ? "" : "-port0");
}

void FakePortTree::AddUsb(const UsbAdapter& adapter) {
    const std::string usbDevice = "devices/pci0000:00/0000:00:14.0/usb1/" + adapter.usbPort;
    SetBus(usbDevice, "usb", "usb");
    WriteFile(Sys(usbDevice + "/idVendor"), adapter.vendorId + "\n");
    WriteFile(Sys(usbDevice + "/idProduct"), adapter.productId + "\n");
    if (!adapter.manufacturer.empty())
        WriteFile(Sys(usbDevice + "/manufacturer"), adapter.manufacturer + "\n");
    if (!adapter.product.empty()) WriteFile(Sys(usbDevice + "/product"), adapter.product + "\n");
    if (!adapter.serial.empty()) WriteFile(Sys(usbDevice + "/serial"), adapter.serial + "\n");
    const std::string interface = usbDevice + "/" + adapter.usbPort + ":1.0";
    SetBus(interface, "usb", adapter.driver);
    WriteFile(Sys(interface + "/bInterfaceClass"), "ff\n");
    if (adapter.driver == "cdc_acm") {
        // cdc_acm hangs its terminal on the interface itself.
        AddTtyEntry(adapter.tty, interface + "/tty/" + adapter.tty, interface);
    } else {
        // usb-serial drivers put a port device of their own bus between.
        const std::string port = interface + "/" + adapter.tty;
        SetBus(port, "usb-serial", adapter.driver);
        AddTtyEntry(adapter.tty, port + "/tty/" + adapter.tty, port);
    }
    AddDeviceNode(adapter.tty);
    AddStableLinks(adapter);
}

std::string FakePortTree::StableLinkPath(const char* folder, const std::string& name) const {
    return root_ + "/dev/serial/" + folder + "/" + name;
}

void FakePortTree::AddStableLinks(const UsbAdapter& adapter) {
    const auto link = [&](const char* folder, const std::string& name) {
        const fs::path path = StableLinkPath(folder, name);
        fs::create_directories(path.parent_path());
        fs::create_symlink("../../" + adapter.tty, path);
    };
    if (adapter.byPath) link("by-path", ByPathName(adapter));
    if (adapter.byId) link("by-id", ByIdName(adapter));
}

void FakePortTree::RemoveUsb(const UsbAdapter& adapter) {
    fs::remove(Sys("class/tty/" + adapter.tty));
    fs::remove(DevicePath(adapter.tty));
    const std::pair<const char*, std::string> links[] = {{"by-path", ByPathName(adapter)},
                                                         {"by-id", ByIdName(adapter)}};
    for (const auto& [folder, name] : links) {
        fs::remove(StableLinkPath(folder, name));
        std::error_code notEmpty;
        fs::remove(root_ + "/dev/serial/" + folder, notEmpty);
    }
    std::error_code notEmpty;
    fs::remove(root_ + "/dev/serial", notEmpty);
}

void FakePortTree::WriteTtyAttribute(const std::string& tty, const std::string& name,
                                     const std::string& text) {
    WriteFile(Sys("class/tty/" + tty + "/" + name), text);
}

void FakePortTree::LinkDeviceNode(const std::string& tty, const std::string& target) {
    fs::remove(DevicePath(tty));
    fs::create_symlink(target, DevicePath(tty));
}

}  // namespace test

#pragma once
// A fake sysfs and /dev in a temporary folder, laid out as Linux lays them out, for serial port
// discovery (serial/port_scan.h): class/tty entries are links into devices/..., each with its
// "device" link, the device's "driver" and "subsystem" links into bus/..., UART "type" attributes,
// USB descriptor strings in the USB device's folder, and udev's /dev/serial links. Removed with
// the object. Test thread only; no Qt.

#include <string>

#include "serial/port_scan.h"

namespace test {

struct UsbAdapter {
    std::string tty;      // "ttyUSB0" (usb-serial drivers) or "ttyACM0" (cdc_acm)
    std::string driver;   // "ftdi_sio", "pl2303", "cdc_acm"
    std::string usbPort;  // where it is plugged: "1-1", "1-2.3"
    std::string manufacturer;
    std::string product;
    std::string serial;  // empty: the device has none
    std::string vendorId = "0403";
    std::string productId = "6001";
    bool byPath = true;  // udev made /dev/serial/by-path and by-id links
    bool byId = true;
};

class FakePortTree {
  public:
    FakePortTree();
    ~FakePortTree();
    FakePortTree(const FakePortTree&) = delete;
    FakePortTree& operator=(const FakePortTree&) = delete;

    SystemRoots Roots() const;
    std::string DevicePath(const std::string& tty) const;

    // Terminals without hardware: tty0, console, ptmx.
    void AddVirtual(const std::string& tty);
    // A UART of the 8250 driver with TIOCGSERIAL type `type`: a PC's COM port on the pnp bus, or
    // with type 0 a placeholder of the platform's serial8250 device. `serialBase`: the layout of
    // kernels that put a serial-base port and controller between the terminal and the hardware.
    // `typeAttribute` false: an older kernel without the "type" attribute.
    void AddUart(const std::string& tty, int type, bool serialBase = false,
                 bool typeAttribute = true);
    void AddUsb(const UsbAdapter& adapter);
    // udev's /dev/serial links of an adapter added before, as far as it has them (AddUsb makes
    // them already; an adapter added without them gets them late).
    void AddStableLinks(const UsbAdapter& adapter);
    // Pulls the adapter out: its terminal, node and links go, and by-path and by-id with the
    // last one, as the kernel and udev remove them.
    void RemoveUsb(const UsbAdapter& adapter);
    // Writes `text` as the attribute `name` of a terminal added before ("type": what an odd
    // driver might report).
    void WriteTtyAttribute(const std::string& tty, const std::string& name,
                           const std::string& text);
    // The device node: a link to `target` (a pseudo-terminal) instead of the plain file.
    void LinkDeviceNode(const std::string& tty, const std::string& target);
    // The stable link names udev gives an adapter plugged into `usbPort`.
    static std::string ByPathName(const UsbAdapter& adapter);
    static std::string ByIdName(const UsbAdapter& adapter);

  private:
    std::string Sys(const std::string& relative) const;
    // A class/tty entry for the terminal folder `ttyDir` (under devices/) whose hardware is
    // `deviceDir`.
    void AddTtyEntry(const std::string& tty, const std::string& ttyDir,
                     const std::string& deviceDir);
    void SetBus(const std::string& deviceDir, const std::string& bus, const std::string& driver);
    void AddDeviceNode(const std::string& tty);
    // <dev>/serial/<folder>/<name>
    std::string StableLinkPath(const char* folder, const std::string& name) const;

    std::string root_;
};

}  // namespace test

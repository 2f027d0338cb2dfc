// Serial port discovery over a fake sysfs and /dev whose attributes come from the input: one
// terminal a line, its fields parted by tabs:
//   uart NAME [TYPE]            a COM port on the pnp bus; TYPE is the text of its "type" attribute
//   uart-base NAME [TYPE]       the same behind a serial-base port (newer kernels)
//   placeholder NAME [TYPE]     one of the 8250 driver's placeholders
//   usb NAME DRIVER USBPORT MANUFACTURER PRODUCT SERIAL IDVENDOR IDPRODUCT
//   virtual NAME
// Names become path components and keep letters and digits only. Whatever the attributes say, the
// scan reports every terminal, and the ports chosen are terminals with hardware, each once, in an
// order that NaturalLess keeps consistent.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "serial/port_discovery.h"
#include "support/fake_port_tree.h"

namespace {

using fuzz::Check;

std::vector<std::string> Split(std::string_view text, char at) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(at, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::string Keep(const std::string& text, std::string_view allowed) {
    std::string kept;
    for (const char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)) ||
            allowed.find(c) != std::string_view::npos)
            kept.push_back(c);
    return kept;
}

void Add(test::FakePortTree& tree, std::vector<std::string> f) {
    f.resize(std::max<std::size_t>(f.size(), 9));
    const std::string name = Keep(f[1], "");
    if (name.empty()) return;
    if (f[0] == "virtual") {
        tree.AddVirtual(name);
    } else if (f[0] == "uart" || f[0] == "uart-base" || f[0] == "placeholder") {
        tree.AddUart(name, f[0] == "placeholder" ? 0 : 4, f[0] == "uart-base", false);
        if (!f[2].empty()) tree.WriteTtyAttribute(name, "type", f[2]);
    } else if (f[0] == "usb") {
        test::UsbAdapter adapter{
            name, Keep(f[2], "_"), "1-" + Keep(f[3], "."), f[4], f[5], f[6], f[7], f[8]};
        // udev's by-id name holds the descriptor strings; the tree makes it only where it stays a
        // file name of its own.
        const std::string byId = test::FakePortTree::ByIdName(adapter);
        adapter.byId = byId.find_first_of(std::string_view("/\0", 2)) == std::string::npos &&
                       byId.size() < 256;
        tree.AddUsb(adapter);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    test::FakePortTree tree;
    const std::vector<std::string> lines =
        Split(std::string_view(reinterpret_cast<const char*>(data), size), '\n');
    for (std::size_t i = 0; i < std::min<std::size_t>(lines.size(), 8); ++i) {
        try {
            Add(tree, Split(lines[i], '\t'));
        } catch (const std::exception&) {
            // The tree cannot hold this terminal (a name taken twice, say): the scan goes on
            // over the others.
        }
    }

    const SystemRoots roots = tree.Roots();
    const std::vector<TtyFacts> ttys = ScanTtys(roots);
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(roots.sysfs + "/class/tty")) {
        (void)entry;
        ++entries;
    }
    Check(ttys.size() == entries);

    const std::vector<SerialPortInfo> ports = SelectSerialPorts(ttys);
    std::vector<std::string> keys;
    int lastGroup = 0;
    for (const SerialPortInfo& port : ports) {
        const auto tty = std::find_if(ttys.begin(), ttys.end(),
                                      [&](const TtyFacts& t) { return t.name == port.name; });
        Check(tty != ttys.end() && tty->hasDevice && tty->uartType.value_or(1) != 0);
        Check(port.devicePath == tty->devicePath && !port.description.empty());
        // The description reaches a terminal (--list-ports): the device's strings may not steer it.
        Check(std::none_of(port.description.begin(), port.description.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        }));
        Check(std::count_if(ports.begin(), ports.end(),
                            [&](const SerialPortInfo& p) { return p.name == port.name; }) == 1);
        // The UARTs first, then by by-path, by-id, device name.
        const int group = tty->uartType                    ? 0
                          : port.stableName.empty()        ? 3
                          : port.stableName == tty->byPath ? 1
                                                           : 2;
        Check(group >= lastGroup);
        lastGroup = group;
        keys.push_back(port.name);
        if (!port.stableName.empty()) keys.push_back(port.stableName);
    }
    // std::sort needs a strict weak order: irreflexive, transitive, and equivalence transitive.
    for (const std::string& a : keys) {
        Check(!NaturalLess(a, a));
        for (const std::string& b : keys) {
            for (const std::string& c : keys) {
                if (NaturalLess(a, b) && NaturalLess(b, c)) Check(NaturalLess(a, c));
                const auto equivalent = [](const std::string& x, const std::string& y) {
                    return !NaturalLess(x, y) && !NaturalLess(y, x);
                };
                if (equivalent(a, b) && equivalent(b, c)) Check(equivalent(a, c));
            }
        }
    }
    return 0;
}

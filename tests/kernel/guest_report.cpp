#include "guest_report.h"

#include <algorithm>
#include <initializer_list>
#include <sstream>

namespace {

class Checker {
  public:
    explicit Checker(const GuestReport& report) : report_(report) {}

    std::string Value(const std::string& key) const {
        const auto found = report_.find(key);
        return found == report_.end() ? "(missing)" : found->second;
    }

    void Equal(const std::string& key, const std::string& expected) {
        if (Value(key) != expected)
            Fail(key, "\"" + Value(key) + "\", expected \"" + expected + "\"");
    }

    void Contains(const std::string& key, const std::string& part) {
        if (Value(key).find(part) == std::string::npos)
            Fail(key, "lacks \"" + part + "\": " + Value(key));
    }

    // Every one of `words` stands in the value as a word of its own.
    void HasWords(const std::string& key, std::initializer_list<const char*> words) {
        const auto present = Words(Value(key));
        for (const char* word : words) {
            if (std::find(present.begin(), present.end(), word) == present.end())
                Fail(key, "lacks \"" + std::string(word) + "\": " + Value(key));
        }
    }

    void LacksWords(const std::string& key, std::initializer_list<const char*> words) {
        const auto present = Words(Value(key));
        for (const char* word : words) {
            if (std::find(present.begin(), present.end(), word) != present.end())
                Fail(key, "still has \"" + std::string(word) + "\": " + Value(key));
        }
    }

    void Fail(const std::string& what, const std::string& why) {
        failures_.push_back(what + ": " + why);
    }

    std::vector<std::string> Failures() const { return failures_; }

  private:
    // Split at blanks, '|', ';' and '=' ("RTS|DTR", "speed 19200 baud;", "type=4").
    static std::vector<std::string> Words(const std::string& text) {
        std::vector<std::string> words;
        std::string word;
        for (const char c : text + " ") {
            if (c == ' ' || c == '|' || c == ';' || c == '=' || c == '\t') {
                if (!word.empty()) words.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        return words;
    }

    const GuestReport& report_;
    std::vector<std::string> failures_;
};

// Where two byte strings first differ, for a message that does not print kilobytes.
std::string Difference(const std::string& actual, const std::string& expected) {
    const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    std::ostringstream s;
    s << actual.size() << " bytes instead of " << expected.size() << ", first difference at byte "
      << (diff.first - actual.begin());
    return s.str();
}

void CheckPort(Checker& check, const std::string& com) {
    check.Equal(com + ".open", "ok");
    // Raised by the open and kept raised while the port is open.
    check.HasWords(com + ".tiocmget", {"DTR", "RTS"});
    check.Equal(com + ".termios",
                "ispeed=19200 ospeed=19200 cs8 -parenb -cstopb crtscts cread -icanon -echo -isig "
                "-opost -icrnl -ixon -ixoff");
    check.HasWords(com + ".stty", {"speed", "19200", "cs8", "-parenb", "-cstopb", "crtscts",
                                   "-icanon", "-echo", "-isig", "-opost", "-icrnl", "-ixon"});
    check.Equal(com + ".hello.sent", "ok");
    check.Equal(com + ".hello.answer", "answer " + com);
    check.Equal(com + ".hungup", "no");
    check.Equal(com + ".closed", "ok");
}

}  // namespace

void ParseReportLine(const std::string& line, GuestReport& report) {
    const auto at = line.find("@@ ");
    if (at == std::string::npos) return;
    const std::string rest = line.substr(at + 3);
    const auto space = rest.find(' ');
    std::string value = space == std::string::npos ? "" : rest.substr(space + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    report[rest.substr(0, space)] = value;
}

std::vector<std::string> CheckGuestReport(const GuestReport& report, const HostFindings& host) {
    Checker check(report);
    check.Equal("done", "ok");
    check.Equal("usb.found", "yes");

    // The kernel's view, read straight from sysfs: one 16550A, the 8250 driver's placeholders
    // (type 0: no hardware), and the FTDI adapter with its descriptor strings.
    check.HasWords("sysfs.ttyS0", {"type", "4"});
    int placeholders = 0;
    for (const auto& [key, value] : report) {
        if (key.rfind("sysfs.ttyS", 0) == 0 && key != "sysfs.ttyS0") {
            check.HasWords(key, {"type", "0", "serial8250"});
            ++placeholders;
        }
    }
    if (placeholders == 0) check.Fail("sysfs", "no placeholder UARTs to skip");
    check.HasWords("sysfs.ttyUSB0", {"ftdi_sio", "usb-serial"});
    check.Equal("sysfs.ttyUSB0.manufacturer", "QEMU");
    check.Equal("sysfs.ttyUSB0.product", "QEMU USB SERIAL");
    check.Equal("sysfs.ttyUSB0.serial", host.adapterSerial);

    // Port discovery over the same sysfs: the placeholders left out, the UART with hardware first,
    // then the adapter, described by its descriptor strings; COM1 and COM2 are those two.
    check.Equal("discovery.ports", "ttyS0 ttyUSB0");
    check.Equal("COM1.device", "/dev/ttyS0");
    check.Contains("COM1.description", "16550A");
    check.Equal("COM2.device", "/dev/ttyUSB0");
    check.Contains("COM2.description", "QEMU USB SERIAL");
    check.Contains("COM2.description", "serial " + host.adapterSerial);
    CheckPort(check, "COM1");
    CheckPort(check, "COM2");
    // The 8250 driver's own record of the lines, before and after ClosePort.
    check.HasWords("COM1.proc.open", {"uart:16550A", "DTR", "RTS"});
    check.LacksWords("COM1.proc.closed", {"DTR", "RTS"});
    // The adapter's driver, seen through a descriptor held across ClosePort: DTR dropped by
    // ClosePort itself (RTS belongs to the kernel's RTS/CTS handshake until the last close).
    check.LacksWords("COM2.tiocmget.closed", {"DTR"});

    check.Equal("COM2.file.size", std::to_string(host.fileBytes.size()));
    check.Equal("COM2.file.failed_blocks", "0");
    check.Equal("COM2.file.answer", "received " + std::to_string(host.fileBytes.size()) + " same");

    // What reached the far ends: exactly the lines and the file, nothing more.
    if (host.uartReceived != "hello COM1\n")
        check.Fail("UART far end", Difference(host.uartReceived, "hello COM1\n"));
    const std::string usbExpected = "hello COM2\n" + host.fileBytes;
    if (host.usbReceived != usbExpected)
        check.Fail("adapter far end", Difference(host.usbReceived, usbExpected));
    return check.Failures();
}

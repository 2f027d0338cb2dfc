// The guest side of the kernel serial test: a static program that runs as the only work of a
// small Linux system booted under QEMU (run_kernel_serial_test.sh), with a real 16550A UART and an
// emulated FTDI USB adapter whose far ends the host plays (kernel_serial_host.cpp).
//
// It drives the project's own CCommPort against the real drivers (8250, ftdi_sio) and prints what
// the kernel reports, one fact a line, "@@ <key> <value>", for the host to check:
//   - sysfs as the kernel lays it out: every ttyS*'s type, driver and bus, the adapter's strings;
//   - what the project's port discovery makes of it: the ports in order, and COM1 and COM2;
//   - for each of COM1 (the UART) and COM2 (the adapter): the open, the modem lines while open and
//     after ClosePort (TIOCMGET; for the UART also /proc/tty/driver/serial), the line settings
//     (tcgetattr, and `stty -a` as another program sees them), one line sent and the host's
//     answer received through the port watcher;
//   - the data file written to COM2 in 200-byte blocks, each timed, and the host's verdict.
// Every wait has a deadline; the program ends, and the system powers off, whatever happens.
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/comm_port.h"
#include "serial/port_discovery.h"
#include "serial/port_map.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlockSize = 200;

void Report(const std::string& key, const std::string& value) {
    std::printf("@@ %s %s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

// The first line of a file, without its end; empty when it cannot be read.
std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The last part of a symbolic link's target ("ftdi_sio" for ".../drivers/ftdi_sio").
std::string LinkBase(const std::string& path) {
    char target[512];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return "-";
    const std::string text(target, static_cast<size_t>(n));
    return text.substr(text.rfind('/') + 1);
}

std::vector<std::string> TtyNames(const char* prefix) {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/sys/class/tty")) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.rfind(prefix, 0) == 0) names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What sysfs says of each UART and USB serial port, read directly, without the project's code.
void ReportSysfs() {
    for (const std::string& name : TtyNames("ttyS")) {
        const std::string base = "/sys/class/tty/" + name;
        Report("sysfs." + name, "type=" + ReadLine(base + "/type") +
                                    " driver=" + LinkBase(base + "/device/driver") +
                                    " bus=" + LinkBase(base + "/device/subsystem"));
    }
    for (const std::string& name : TtyNames("ttyUSB")) {
        // The port's device is the usb-serial port; above it the interface, then the USB device.
        const std::string base = "/sys/class/tty/" + name;
        const std::string usb = base + "/device/../..";
        Report("sysfs." + name, "driver=" + LinkBase(base + "/device/driver") +
                                    " bus=" + LinkBase(base + "/device/subsystem"));
        Report("sysfs." + name + ".manufacturer", ReadLine(usb + "/manufacturer"));
        Report("sysfs." + name + ".product", ReadLine(usb + "/product"));
        Report("sysfs." + name + ".serial", ReadLine(usb + "/serial"));
    }
}

// USB devices are found after the modules load, some time after the program starts.
bool WaitForPath(const std::string& path, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    struct stat st {};
    while (stat(path.c_str(), &st) != 0) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::string ModemLines(int bits) {
    static constexpr struct {
        int bit;
        const char* name;
    } kLines[] = {{TIOCM_DTR, "DTR"}, {TIOCM_RTS, "RTS"}, {TIOCM_CTS, "CTS"},
                  {TIOCM_DSR, "DSR"}, {TIOCM_CD, "CD"},   {TIOCM_RI, "RI"}};
    std::string names;
    for (const auto& line : kLines) {
        if ((bits & line.bit) != 0) names += (names.empty() ? "" : "|") + std::string(line.name);
    }
    return names.empty() ? "none" : names;
}

// The 8250 driver's line for a port in /proc/tty/driver/serial: its modem lines at the end.
std::string ProcSerialLine(const std::string& device) {
    const std::string index = device.substr(device.find_last_not_of("0123456789") + 1) + ":";
    std::ifstream in("/proc/tty/driver/serial");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(index, 0) == 0) return line;
    }
    return "-";
}

std::string ModemLinesOf(int fd) {
    int bits = 0;
    return ioctl(fd, TIOCMGET, &bits) == 0 ? ModemLines(bits) : "failed";
}

std::string SettingsOf(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return "failed";
    std::ostringstream s;
    const auto flag = [&s](const char* name, bool on) { s << ' ' << (on ? "" : "-") << name; };
    s << "ispeed=" << (cfgetispeed(&tio) == B19200 ? "19200" : "other")
      << " ospeed=" << (cfgetospeed(&tio) == B19200 ? "19200" : "other");
    flag("cs8", (tio.c_cflag & CSIZE) == CS8);
    flag("parenb", (tio.c_cflag & PARENB) != 0);
    flag("cstopb", (tio.c_cflag & CSTOPB) != 0);
    flag("crtscts", (tio.c_cflag & CRTSCTS) != 0);
    flag("cread", (tio.c_cflag & CREAD) != 0);
    flag("icanon", (tio.c_lflag & ICANON) != 0);
    flag("echo", (tio.c_lflag & ECHO) != 0);
    flag("isig", (tio.c_lflag & ISIG) != 0);
    flag("opost", (tio.c_oflag & OPOST) != 0);
    flag("icrnl", (tio.c_iflag & ICRNL) != 0);
    flag("ixon", (tio.c_iflag & IXON) != 0);
    flag("ixoff", (tio.c_iflag & IXOFF) != 0);
    return s.str();
}

// Another program's view of the port's settings, as one line.
std::string SttyOf(const std::string& device) {
    std::string all;
    const std::string command = "stty -a -F " + device + " 2>/dev/null";
    if (FILE* stty = popen(command.c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, stty) != nullptr) all += chunk;
        pclose(stty);
    }
    std::replace(all.begin(), all.end(), '\n', ' ');
    return all;
}

// Takes one line from the port's receive buffer as the console reader would, or gives up at the
// deadline.
std::string ReceiveLine(CCommPort& port, std::chrono::milliseconds limit) {
    std::atomic<int> stop{0};
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread alarm([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, limit, [&] { return finished; })) {
            stop.store(1);
            port.Buffer().WakeConsumer();
        }
    });
    std::string line;
    bool complete = false;
    while (!complete && port.Buffer().WaitForData(stop)) {
        for (int c; !complete && (c = port.Buffer().GetByte()) != -1;) {
            if (c == '\n') {
                complete = true;
            } else {
                line += static_cast<char>(c);
            }
        }
    }
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    done.notify_one();
    alarm.join();
    return complete ? line : "(none: " + line + ")";
}

bool SendText(CCommPort& port, const std::string& text) {
    return port.WriteBlock(text.data(), static_cast<uint32_t>(text.size())) != 0;
}

// Writes the file in blocks as the upload does, and reports each block's time.
void SendFile(CCommPort& port, const std::string& com, const std::string& dataPath) {
    std::ifstream in(dataPath, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Report(com + ".file.size", std::to_string(data.size()));
    std::string blockTimes;
    int failed = 0;
    const auto start = Clock::now();
    for (size_t at = 0; at < data.size(); at += kBlockSize) {
        const auto length = static_cast<uint32_t>(std::min<size_t>(kBlockSize, data.size() - at));
        const auto blockStart = Clock::now();
        if (port.WriteBlock(data.data() + at, length) == 0) ++failed;
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - blockStart);
        blockTimes += (blockTimes.empty() ? "" : " ") + std::to_string(ms.count());
    }
    const auto total =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    Report(com + ".file.failed_blocks", std::to_string(failed));
    Report(com + ".file.block_ms", blockTimes);
    Report(com + ".file.total_ms", std::to_string(total));
}

// The ports as the program's port dialog offers them.
std::vector<PortMapping> ReportDiscovery() {
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts();
    std::string names;
    for (const SerialPortInfo& port : found) {
        names += (names.empty() ? "" : " ") + port.name;
        Report("discovery." + port.name, port.devicePath + " " + port.description);
    }
    Report("discovery.ports", names);
    const std::vector<PortMapping> offered = MapOfferedPorts(found);
    for (const PortMapping& mapping : offered)
        Report(mapping.name + ".description", mapping.description);
    return offered;
}

// Opens a port as the program does with the port dialog's choice, checks it as the kernel sees it,
// exchanges a line with the host, sends the data file when one is given, and closes it. False when
// the port did not open.
//
// The port's own descriptor stays inside CCommPort, so a second one looks at the driver; a second
// open is no last close, so closing it leaves the lines alone. For a UART the 8250 driver's record
// in /proc tells the lines after the very last close, so the second descriptor is closed before
// ClosePort. For the adapter the driver's record is only reachable through an open descriptor: it
// is held across ClosePort and shows what ClosePort itself left on the lines.
bool ExercisePort(const PortMapping& mapping, const std::string& dataPath) {
    const std::string& com = mapping.name;
    const std::string& device = mapping.devicePath;
    const bool uart = device.find("ttyS") != std::string::npos;
    Report(com + ".device", device);
    CCommPort port;
    port.BaudRate = UPDATE_BAUD;
    if (port.OpenPort(mapping) == 0) {
        Report(com + ".open", "failed: " + port.DescribeOpenFailure());
        return false;
    }
    Report(com + ".open", "ok");
    int view = open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    Report(com + ".tiocmget", ModemLinesOf(view));
    Report(com + ".termios", SettingsOf(view));
    Report(com + ".stty", SttyOf(device));
    if (uart) {
        Report(com + ".proc.open", ProcSerialLine(device));
        close(view);
        view = -1;
    }

    Report(com + ".hello.sent", SendText(port, "hello " + com + "\n") ? "ok" : "failed");
    Report(com + ".hello.answer", ReceiveLine(port, 10s));
    if (!dataPath.empty()) {
        SendFile(port, com, dataPath);
        Report(com + ".file.answer", ReceiveLine(port, 20s));
    }
    Report(com + ".hungup", port.Buffer().InputEnded() ? "yes" : "no");
    port.ClosePort();
    Report(com + ".closed", "ok");
    if (uart) {
        Report(com + ".proc.closed", ProcSerialLine(device));
    } else {
        Report(com + ".tiocmget.closed", ModemLinesOf(view));
        close(view);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s USB-DEVICE DATA-FILE\n", argv[0]);
        return 2;
    }
    const std::string usbDevice = argv[1];
    const std::string dataPath = argv[2];
    Report("start", "serial guest");
    const bool found = WaitForPath(usbDevice, 30s);
    Report("usb.found", found ? "yes" : "no");
    ReportSysfs();
    const std::vector<PortMapping> offered = ReportDiscovery();
    const bool first = ExercisePort(offered.at(0), "");
    const bool second = ExercisePort(offered.at(1), dataPath);
    Report("done", "ok");
    // The system's own log follows a run that went wrong.
    return found && first && second ? 0 : 1;
}

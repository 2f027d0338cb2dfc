// qelpupd-cli --station at the line's pace against one simulator playing many ports: each run's
// time beside a lone run's, the station's CPU while the devices take the file and while every port
// waits for the next device, its resident memory; then how soon a port that appears is opened and
// how soon a pulled adapter ends its run. Prints figures, asserts nothing.
//
// Usage: cli_station [BYTES [PORTS]]   (default 20000 bytes, about 10 s a run; 16 ports)

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/pty_peer.h"
#include "support/work_folder.h"
#include "tools/cli_process.h"
#include "tools/simulator_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The "seconds" of every run's end, in order.
std::vector<double> RunSeconds(const std::string& out) {
    std::vector<double> seconds;
    const std::string key = "\"seconds\":";
    for (auto at = out.find(key); at != std::string::npos; at = out.find(key, at + 1))
        seconds.push_back(std::strtod(out.c_str() + at + key.size(), nullptr));
    return seconds;
}

// User and system time the process has used so far.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
    std::size_t at = text.rfind(')');
    if (at == std::string::npos) return 0;
    std::vector<std::string> fields;
    std::string field;
    for (char c : text.substr(at + 2)) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    if (fields.size() < 13) return 0;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return (std::stod(fields[11]) + std::stod(fields[12])) / ticks;
}

// "VmRSS" or "VmHWM" of /proc/PID/status, in MB.
double MemoryMb(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::strtod(line.c_str() + key.size() + 1, nullptr) / 1024;
    return 0;
}

struct CpuSample {
    Clock::time_point when;
    double cpu;
};
CpuSample Sample(pid_t pid) {
    return {Clock::now(), CpuSeconds(pid)};
}
double Percent(const CpuSample& from, const CpuSample& to) {
    const double wall = std::chrono::duration<double>(to.when - from.when).count();
    return wall > 0 ? 100 * (to.cpu - from.cpu) / wall : 0;
}

// Waits until the station's standard output holds `count` lines of `event`; says so when not, so
// that no figure is printed for a wait that ran out.
bool WaitFor(CliProcess& station, const std::string& event, std::size_t count,
             std::chrono::milliseconds deadline) {
    const std::string field = "\"event\":\"" + event + "\"";
    if (station.WaitUntil(
            [&](const std::string& out, const std::string&) { return Count(out, field) >= count; },
            deadline))
        return true;
    std::printf("no %s within %.0f s\n", event.c_str(),
                std::chrono::duration<double>(deadline).count());
    return false;
}

std::vector<std::string> StationArgs(const std::vector<std::string>& links,
                                     std::vector<std::string> more) {
    std::vector<std::string> args{"--station", "--json"};
    for (const std::string& link : links) args.insert(args.end(), {"--port", link});
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::vector<std::string> Links(const test::WorkFolder& folder, int count, const char* stem) {
    std::vector<std::string> links;
    for (int i = 1; i <= count; ++i)
        links.push_back((folder.Path() / (stem + std::to_string(i))).string());
    return links;
}

double LoneRun(const test::WorkFolder& folder, const std::string& data) {
    const std::vector<std::string> links = Links(folder, 1, "lone");
    SimulatorProcess devices(
        {"--data", data, "--pace", "--boot-delay-ms", "5", "--link", links[0]});
    devices.readLine();
    CliProcess station(StationArgs(links, {"--runs", "1"}));
    const CliProcess::Ended ended = station.Finish(10min);
    const std::vector<double> seconds = RunSeconds(ended.out);
    std::printf("lone run: %.3f s (exit %d)\n", seconds.empty() ? 0 : seconds[0], ended.status);
    return seconds.empty() ? 0 : seconds[0];
}

void ManyPorts(const test::WorkFolder& folder, const std::string& data, int ports, double lone) {
    const std::vector<std::string> links = Links(folder, ports, "port");
    std::vector<std::string> args{"--data", data,         "--pace",          "--boot-delay-ms",
                                  "5",      "--scenario", "success,success", "--between-ms",
                                  "6000"};
    for (const std::string& link : links) args.insert(args.end(), {"--link", link});
    SimulatorProcess devices(args);
    for (int i = 0; i < ports; ++i) devices.readLine();
    CliProcess station(StationArgs(links, {"--runs", "2"}));
    const pid_t pid = station.Pid();
    const auto all = static_cast<std::size_t>(ports);
    const bool allBegan = WaitFor(station, "run-began", all, 10min);
    const CpuSample sending = Sample(pid);
    const bool oneEnded = allBegan && WaitFor(station, "run-ended", 1, 10min);
    const CpuSample firstEnd = Sample(pid);
    const double rssSending = MemoryMb(pid, "VmRSS");
    const bool allEnded = oneEnded && WaitFor(station, "run-ended", all, 10min);
    CpuSample waitFrom{};
    CpuSample waitTo{};
    if (allEnded) {
        // Every port waits for its next device, which boots 6 s after the last one ended.
        std::this_thread::sleep_until(firstEnd.when + 500ms);
        waitFrom = Sample(pid);
        std::this_thread::sleep_until(firstEnd.when + 5500ms);
        waitTo = Sample(pid);
    }
    // The kernel brings its high-water mark up to date only now and then.
    const double rssPeak = std::max({MemoryMb(pid, "VmHWM"), MemoryMb(pid, "VmRSS"), rssSending});
    const CliProcess::Ended ended = station.Finish(10min);

    const std::vector<double> seconds = RunSeconds(ended.out);
    std::vector<double> first(seconds.begin(),
                              seconds.begin() + std::min<std::ptrdiff_t>(ports, seconds.size()));
    std::sort(first.begin(), first.end());
    double mean = 0;
    for (double s : first) mean += s;
    mean /= first.empty() ? 1 : static_cast<double>(first.size());
    std::printf("%d ports at once: %zu runs ended (exit %d)\n", ports, seconds.size(),
                ended.status);
    if (!first.empty()) {
        std::printf("  first run of each port: fastest %.3f s, mean %.3f s, slowest %.3f s\n",
                    first.front(), mean, first.back());
        std::printf("  slowest / lone run: %.4f (goal: within 1.02)\n", first.back() / lone);
    }
    if (oneEnded) {
        std::printf(
            "  station CPU while the devices take the file: %.3f %% of one core "
            "(goal: under 1 %%)\n",
            Percent(sending, firstEnd));
    }
    if (allEnded) {
        std::printf("  station CPU while every port waits (5 s): %.3f %% (goal: 0.0 %%)\n",
                    Percent(waitFrom, waitTo));
    }
    if (oneEnded) {
        std::printf(
            "  resident memory: %.1f MB while sending, %.1f MB at its peak (goal: under 60 MB)\n",
            rssSending, rssPeak);
    }
}

// A port that appears: a pseudo-terminal whose link is made while the station runs.
// A pulled adapter: its far end closed in the middle of a transfer.
void ComingAndGoing(const test::WorkFolder& folder) {
    const std::string link = (folder.Path() / "plugged").string();
    PtyPeer adapter;
    CliProcess station(StationArgs({link}, {"--runs", "1"}));
    // The station is up and sees the port absent.
    if (!WaitFor(station, "port-absent", 1, 30s)) return;
    std::filesystem::create_symlink(adapter.SlavePath(), link);
    const auto plugged = Clock::now();
    if (!WaitFor(station, "waiting", 1, 30s)) return;
    const auto opened = Clock::now();
    std::printf("a port that appears is open after %.1f ms (goal: under 1000 ms)\n",
                std::chrono::duration<double, std::milli>(opened - plugged).count());

    adapter.Send("bootmode=DATAWAIT\r\n");
    if (!WaitFor(station, "sending", 1, 30s)) return;
    adapter.Receive(1000);
    adapter.HangUp();
    const auto pulled = Clock::now();
    if (!WaitFor(station, "run-ended", 1, 30s)) return;
    const auto ended = Clock::now();
    std::printf("a pulled adapter ends its run after %.1f ms (goal: under 1000 ms)\n",
                std::chrono::duration<double, std::milli>(ended - pulled).count());
    station.Finish(30s);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t bytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    const int ports = argc > 2 ? std::atoi(argv[2]) : 16;
    test::WorkFolder folder;
    setenv("XDG_STATE_HOME", (folder.Path() / "state").c_str(), 1);
    const std::string data = folder.WriteDataFile(bytes);
    std::printf("qelpupd-cli --station, %zu-byte data file, paced at 19200 baud by the simulator\n",
                bytes);
    const double lone = LoneRun(folder, data);
    ManyPorts(folder, data, ports, lone);
    ComingAndGoing(folder);
    return 0;
}

// How late the UI thread serves a 10 ms timer while the tool uploads a data file at a real line's
// pace: UploadDataFile (progress dialog, 200-byte blocks, CCommPort over the real POSIX device) to
// the device simulator reading at 19200 baud (--pace, 1,920 bytes/s). The same upload runs twice
// in one run: with the port's default waiter, which sleeps in poll(), and with the event-loop
// waiter that the tool installs. A pseudo-terminal takes some 17 KB at once and then makes the
// writer wait for room for seconds, so the file is larger than that. The timer is a single shot
// restarted at each firing; its lateness is the time past the 10 ms. Prints median, 99th
// percentile and worst for each waiter; asserts nothing.
//
//   app_ui_lateness [data-file-bytes]     (default 40000: about 12 s of paced waits per run)

#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "../../tests/app/log_window.h"
#include "app/window_upload.h"
#include "device_lines.h"
#include "framework/event_loop_port_waiter.h"
#include "res/resources.h"
#include "serial/comm_port.h"
#include "support/work_folder.h"
#include "tools/simulator_process.h"
#include "update/data_upload.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kTick{10};

struct Lateness {
    std::vector<double> ms;  // one per firing
    double uploadSeconds = 0;
};

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[at];
}

// One paced upload to a fresh simulator, with `waiter` (nullptr: the port's default) and the
// timer running; an empty result when the run failed.
Lateness MeasureUpload(const std::string& path, PortWaiter* waiter, test::LogWindow& owner) {
    SimulatorProcess device(
        {"--scenario", "success", "--data", path, "--boot-delay-ms", "0", "--pace"});
    const auto slave = device.readLine();
    if (!slave || slave->empty()) return {};
    setenv("QELPUPD_COM1", slave->c_str(), 1);
    CCommPort port;
    port.BaudRate = UPDATE_BAUD;
    port.SetWaiter(waiter);
    if (!port.OpenPort("COM1")) {
        std::fprintf(stderr, "%s\n", port.DescribeOpenFailure().c_str());
        return {};
    }
    if (!AwaitLine(port.Buffer(), "bootmode=DATAWAIT")) return {};

    Lateness result;
    QTimer tick;
    tick.setSingleShot(true);
    tick.setTimerType(Qt::PreciseTimer);
    Clock::time_point due;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        result.ms.push_back(std::chrono::duration<double, std::milli>(now - due).count());
        due = Clock::now() + kTick;
        tick.start(kTick);
    });
    due = Clock::now() + kTick;
    tick.start(kTick);

    UpdateSession session;
    session.buffer = &port.Buffer();
    const auto start = Clock::now();
    WindowUpload sink(owner);
    UploadDataFile(path, port, session, sink);
    result.uploadSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    tick.stop();
    // A timer that never fired during the upload is the worst case: count the whole wait.
    const double pending = std::chrono::duration<double, std::milli>(Clock::now() - due).count();
    if (pending > 0) result.ms.push_back(pending);
    port.ClosePort();
    return result;
}

void Print(const char* name, const Lateness& l) {
    std::printf("  %-34s p50 %8.2f ms   p99 %8.2f ms   worst %8.2f ms   (%zu firings, %.1f s)\n",
                name, Percentile(l.ms, 0.5), Percentile(l.ms, 0.99),
                l.ms.empty() ? 0.0 : *std::max_element(l.ms.begin(), l.ms.end()), l.ms.size(),
                l.uploadSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t bytes = argc > 1 ? std::stoul(argv[1]) : 40000;
    alarm(static_cast<unsigned>(60 + 2 * bytes / 1920 * 2));  // a broken run is killed
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApp(argc, argv);
    RegisterResources();

    test::WorkFolder folder;
    const std::string path = folder.WriteDataFile(bytes);
    test::LogWindow owner;  // the progress dialog's owner, as the main dialog is in the tool
    owner.Create(nullptr);
    owner.Widget()->show();

    const Lateness polling = MeasureUpload(path, nullptr, owner);
    fw::EventLoopPortWaiter eventLoopWaiter;
    const Lateness eventLoop = MeasureUpload(path, &eventLoopWaiter, owner);
    if (polling.ms.empty() || eventLoop.ms.empty()) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    std::printf(
        "Lateness of a 10 ms UI timer during a paced upload of %zu bytes to the simulator "
        "(1,920 bytes/s, pseudo-terminal)\n",
        bytes);
    Print("default waiter (poll, sleeps)", polling);
    Print("event-loop waiter (the tool's)", eventLoop);
    return 0;
}

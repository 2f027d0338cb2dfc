// The whole process's CPU over 10 s while the tool sits idle with its port open: the real main
// dialog in this process, its port on a simulated device that prints its boot lines and never asks
// for the data. The measurement starts once the log has been quiet for half a second and runs while
// the dialog's modal loop waits; target: under 1 % of one core. Prints figures; asserts nothing.

#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

#include "process_usage.h"
#include "res/resource.h"
#include "res/resources.h"
#include "support/work_folder.h"
#include "tools/simulator_process.h"
#include "update_dlg_run.h"

namespace {

constexpr int kQuietMs = 500;
constexpr int kMeasureMs = 10000;
constexpr unsigned kHangGuardSeconds = 60;

struct Measurement {
    double wallSeconds = 0;
    ProcessUsage before;
    ProcessUsage after;
    std::vector<ThreadUsage> threadsBefore;
    std::vector<ThreadUsage> threadsAfter;
    int logLines = 0;
};

void Print(const Measurement& m) {
    const double cpu = m.after.cpuSeconds - m.before.cpuSeconds;
    std::printf("Whole process idle with the port open (main dialog, device that never asks)\n");
    std::printf("  wall time            : %.2f s\n", m.wallSeconds);
    std::printf("  CPU, all threads     : %.4f s = %.3f %% of one core (target: under 1 %%)\n", cpu,
                cpu / m.wallSeconds * 100.0);
    std::printf("  context switches     : %ld voluntary (wake-ups), %ld involuntary\n",
                m.after.voluntarySwitches - m.before.voluntarySwitches,
                m.after.involuntarySwitches - m.before.involuntarySwitches);
    std::printf("  log lines shown      : %d\n", m.logLines);
    std::map<int, double> startOf;
    for (const ThreadUsage& t : m.threadsBefore) startOf[t.tid] = t.cpuSeconds;
    std::printf("  CPU by thread (these include reading /proc):\n");
    for (const ThreadUsage& t : m.threadsAfter) {
        const auto start = startOf.find(t.tid);
        const double used = t.cpuSeconds - (start == startOf.end() ? 0.0 : start->second);
        std::printf("    %7d %-16s %8.4f s%s\n", t.tid, t.name.c_str(), used,
                    t.tid == getpid() ? "  (UI thread)" : "");
    }
}

}  // namespace

int main(int argc, char** argv) {
    alarm(kHangGuardSeconds);  // a broken run is killed, never left hanging
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApp(argc, argv);
    RegisterResources();

    test::WorkFolder folder;
    // The tool's update record lands in the folder, never in the home folder.
    setenv("XDG_STATE_HOME", (folder.Path() / "state").c_str(), 1);
    SimulatorProcess device({"--scenario", "silent", "--data", folder.WriteDataFile(64 * 1024)});
    const auto slave = device.readLine();
    if (!slave || slave->empty()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    setenv("QELPUPD_COM1", slave->c_str(), 1);

    Measurement m;
    QTimer quiet;
    quiet.setSingleShot(true);
    quiet.setInterval(kQuietMs);
    QElapsedTimer wall;
    QMetaObject::Connection logChanges;
    UpdateDlgRun run([&](CUpdateDlg& dialog) {
        QWidget* window = dialog.Widget();
        auto* log = qobject_cast<QPlainTextEdit*>(dialog.GetDlgItem(IDC_LOG)->Widget());
        // Every line the device prints restarts the wait for quiet.
        logChanges = QObject::connect(log->document(), &QTextDocument::contentsChanged, &quiet,
                                      qOverload<>(&QTimer::start));
        QObject::connect(&quiet, &QTimer::timeout, window, [&m, &wall, &logChanges, window, log] {
            QObject::disconnect(logChanges);
            m.threadsBefore = CurrentThreadUsage();
            m.before = CurrentProcessUsage();
            wall.start();
            QTimer::singleShot(kMeasureMs, Qt::PreciseTimer, window, [&m, &wall, window, log] {
                m.after = CurrentProcessUsage();
                m.wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
                m.threadsAfter = CurrentThreadUsage();
                m.logLines = log->document()->blockCount() - 1;
                PressKey(window, Qt::Key_Escape);
            });
        });
        quiet.start();
    });
    run.Run();

    if (!run.Started() || m.wallSeconds == 0) {
        std::fprintf(stderr, "the dialog did not run with its port open\n");
        return 1;
    }
    Print(m);
    return 0;
}

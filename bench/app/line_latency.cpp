// The time from a device line written on the line to its appearance in the tool's log: the real
// main dialog in this process, its port (CCommPort, port watcher, console reader) on a
// pseudo-terminal whose master this benchmark writes. A writer thread sends numbered lines one at a
// time with a pause between them and stamps each just before its write(); the UI thread stamps a
// line when the log's document reports it inserted. Prints median, 99th percentile and worst;
// asserts nothing. The update record is on, as in the tool; "--record off" points it at a folder
// that cannot be made, for a comparison without it.

#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "res/resources.h"
#include "serial/pty_peer.h"
#include "support/work_folder.h"
#include "update_dlg_run.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kLines = 2000;
constexpr auto kPause = 2ms;
constexpr int kGiveUpMs = 30000;
constexpr unsigned kHangGuardSeconds = 90;
const QString kMarker = QStringLiteral("seq=");
constexpr int kDigits = 6;

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Writer thread: stamps and writes line i, for every i, until done or stopped. The stamps are
// atomics: the UI thread reads them once the line has come back through the port.
void WriteLines(int master, std::atomic<long long>* sentNs, const std::atomic<int>& stop) {
    char line[64];
    for (int i = 0; i < kLines && stop.load() == 0; ++i) {
        // No keyword of the device in it, so the reader only shows it.
        const int length = std::snprintf(line, sizeof line, "seq=%06d latency probe\r\n", i);
        sentNs[i].store(NowNs(), std::memory_order_release);
        if (write(master, line, static_cast<size_t>(length)) != length) return;
        std::this_thread::sleep_for(kPause);
    }
}

// The line numbers in text the log just inserted.
std::vector<int> LineNumbersIn(const QString& text) {
    std::vector<int> numbers;
    for (qsizetype at = text.indexOf(kMarker); at >= 0; at = text.indexOf(kMarker, at + 1)) {
        bool ok = false;
        const int number = text.mid(at + kMarker.size(), kDigits).toInt(&ok);
        if (ok && number >= 0 && number < kLines) numbers.push_back(number);
    }
    return numbers;
}

double PercentileUs(const std::vector<long long>& sortedNs, double fraction) {
    const auto rank =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sortedNs.size())));
    return static_cast<double>(sortedNs[std::max<std::size_t>(rank, 1) - 1]) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
    alarm(kHangGuardSeconds);  // a broken run is killed, never left hanging
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qtApp(argc, argv);
    RegisterResources();

    test::WorkFolder folder;
    folder.WriteDataFile(1000);
    const bool record =
        !(argc == 3 && std::string(argv[1]) == "--record" && std::string(argv[2]) == "off");
    // The tool's update record lands in the folder, never in the home folder.
    setenv("XDG_STATE_HOME", record ? (folder.Path() / "state").c_str() : "/dev/null/no-record", 1);
    PtyPeer device;
    setenv("QELPUPD_COM1", device.SlavePath().c_str(), 1);

    auto sentNs = std::make_unique<std::atomic<long long>[]>(kLines);
    std::vector<long long> shownNs(kLines, -1);
    int shown = 0;
    std::atomic<int> stopWriting{0};
    std::thread writer;

    UpdateDlgRun run([&](CUpdateDlg& dialog) {
        QWidget* window = dialog.Widget();
        auto* log = qobject_cast<QPlainTextEdit*>(dialog.GetDlgItem(IDC_LOG)->Widget());
        QTextDocument* document = log->document();
        QObject::connect(document, &QTextDocument::contentsChange, log,
                         [&shownNs, &shown, document, window](int position, int, int added) {
                             const long long now = NowNs();
                             QTextCursor cursor(document);
                             cursor.setPosition(position);
                             cursor.setPosition(
                                 std::min(position + added, document->characterCount() - 1),
                                 QTextCursor::KeepAnchor);
                             for (int number : LineNumbersIn(cursor.selectedText())) {
                                 if (shownNs[number] >= 0) continue;
                                 shownNs[number] = now;
                                 // Ended from the event loop, not from inside the log's update.
                                 if (++shown == kLines)
                                     QTimer::singleShot(
                                         0, window, [window] { PressKey(window, Qt::Key_Escape); });
                             }
                         });
        QTimer::singleShot(kGiveUpMs, window, [window] { PressKey(window, Qt::Key_Escape); });
        writer = std::thread(WriteLines, device.Master(), sentNs.get(), std::cref(stopWriting));
    });
    run.Run();
    stopWriting.store(1);
    if (writer.joinable()) writer.join();

    if (!run.Started()) {
        std::fprintf(stderr, "the dialog did not run with its port open\n");
        return 1;
    }
    std::vector<long long> latencyNs;
    for (int i = 0; i < kLines; ++i)
        if (shownNs[i] >= 0)
            latencyNs.push_back(shownNs[i] - sentNs[i].load(std::memory_order_acquire));
    if (latencyNs.empty()) {
        std::fprintf(stderr, "no line reached the log\n");
        return 1;
    }
    std::sort(latencyNs.begin(), latencyNs.end());
    std::printf("Device line written on the pty master -> shown in the main dialog's log\n");
    std::printf("  update record        : %s\n", record ? "on" : "off");
    std::printf("  lines                : %d sent one at a time, %lld ms apart; %zu shown\n",
                kLines, static_cast<long long>(kPause.count()), latencyNs.size());
    std::printf("  median               : %8.1f us\n", PercentileUs(latencyNs, 0.50));
    std::printf("  99th percentile      : %8.1f us\n", PercentileUs(latencyNs, 0.99));
    std::printf("  worst                : %8.1f us\n",
                static_cast<double>(latencyNs.back()) / 1000.0);
    return 0;
}

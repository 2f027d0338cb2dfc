// Console reader benchmarks; they print figures and assert nothing.
//  (a) lines per second from the receive buffer through the reader into a real log window, for N
//  and
//      2N lines of 60 characters, and t(2N)/t(N): near 2 when a line costs the same however long
//      the log already is;
//  (b) the CPU time the reader thread uses over 5 s with an empty buffer.

#include <pthread.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "../../tests/app/log_window.h"
#include "app/window_console_sink.h"
#include "serial/receive_buffer.h"
#include "update/console_reader.h"

namespace {

double ThreadCpuSeconds(pthread_t thread) {
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &ts) != 0) return -1;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void PumpUntil(const std::function<bool()>& done) {
    // An event loop, so that the UI thread sleeps until the reader's sends arrive.
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    check.start(2);
    if (!done()) loop.exec();
}

struct Run {
    test::LogWindow window;
    ReceiveBuffer buffer;
    UpdateSession session;
    WindowConsoleSink sink;
    std::thread reader;
    Run() {
        window.Create(nullptr);
        window.Widget()->show();
        session.buffer = &buffer;
        sink = WindowConsoleSink(window.Log().Handle(), window.Handle());
        reader = std::thread([this] { ConsoleReaderProc(session, sink); });
    }
    ~Run() {
        session.RequestStop();
        PumpUntil([&] { return window.updateEnds.load() > 0; });
        reader.join();
    }
};

// Seconds from the first byte until the log shows the last of `lines` lines.
double TimeLines(int lines) {
    Run run;
    std::string line(58, 'x');
    std::thread producer([&] {
        std::atomic<int> connected{1};
        for (int i = 0; i < lines; ++i) {
            std::string text = std::to_string(i % 10) + line.substr(1) + "\r\n";  // 60 characters
            run.buffer.MakeRoom(connected);
            run.buffer.Append(reinterpret_cast<const unsigned char*>(text.data()),
                              static_cast<int>(text.size()));
        }
    });
    // The log keeps "\r\n" too: 60 bytes a line.
    const std::size_t expected = static_cast<std::size_t>(lines) * 60;
    QElapsedTimer clock;
    clock.start();
    PumpUntil([&] { return run.window.Log().TextLength() >= expected; });
    double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    producer.join();
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int n = argc > 1 ? std::atoi(argv[1]) : 50000;

    double t1 = TimeLines(n);
    double t2 = TimeLines(2 * n);
    std::printf("reader: %d lines of 60 chars: %.3f s, %.0f lines/s\n", n, t1, n / t1);
    std::printf("reader: %d lines of 60 chars: %.3f s, %.0f lines/s\n", 2 * n, t2, 2 * n / t2);
    std::printf("reader: t(2N)/t(N) = %.2f (linear cost: about 2, limit 2.3)\n", t2 / t1);

    Run idle;
    double before = ThreadCpuSeconds(idle.reader.native_handle());
    QElapsedTimer clock;
    clock.start();
    PumpUntil([&] { return clock.elapsed() >= 5000; });
    double used = ThreadCpuSeconds(idle.reader.native_handle()) - before;
    std::printf("reader: idle CPU over 5 s with an empty buffer: %.4f s = %.3f %% of a core\n",
                used, used / 5.0 * 100.0);
    return 0;
}

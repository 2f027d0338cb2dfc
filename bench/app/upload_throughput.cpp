// How fast the tool uploads a 1 MiB data file: UploadDataFile under the window program's progress
// dialog (200-byte blocks, CCommPort over the real POSIX device) to the device simulator reading at
// full speed and checking every byte, against a plain write() loop of the same file, in writes of
// the same size, to the same kind of pseudo-terminal drained at full speed by a reader thread, in
// the same run. Both are timed from the first call until the sender returns. The tool's rounds
// alternate without and with an update record that takes the device's lines and the transfer's
// figures, as the tool keeps it. Prints the medians of a few rounds and their ratios; asserts
// nothing.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../../tests/app/log_window.h"
#include "app/window_upload.h"
#include "device_lines.h"
#include "res/resources.h"
#include "serial/comm_port.h"
#include "serial/pty_peer.h"
#include "support/work_folder.h"
#include "tools/simulator_process.h"
#include "update/data_upload.h"
#include "update/update_record.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFileBytes = 1 << 20;
constexpr int kRounds = 7;
constexpr unsigned kHangGuardSeconds = 120;
constexpr std::string_view kDataRequest = "bootmode=DATAWAIT";
constexpr std::string_view kUpdateDone = "Versionup succeed";

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One upload by the tool to a fresh simulator; seconds, or a negative value when it failed.
double TimeToolUpload(const std::string& path, test::LogWindow& owner, bool withRecord) {
    SimulatorProcess device({"--scenario", "success", "--data", path, "--boot-delay-ms", "0"});
    const auto slave = device.readLine();
    if (!slave || slave->empty()) return -1;
    setenv("QELPUPD_COM1", slave->c_str(), 1);
    CCommPort port;
    port.BaudRate = UPDATE_BAUD;
    if (!port.OpenPort("COM1")) {
        std::fprintf(stderr, "%s\n", port.DescribeOpenFailure().c_str());
        return -1;
    }
    std::optional<UpdateRecord> record;
    if (withRecord) {
        record.emplace(RecordDirectory());
        record->Start(
            {"upload_throughput", "bench", "COM1", *slave, path, std::chrono::system_clock::now()});
    }
    UpdateRecord* lines = record ? &*record : nullptr;
    if (!AwaitLine(port.Buffer(), kDataRequest, lines)) return -1;

    UpdateSession session;
    session.buffer = &port.Buffer();
    const auto start = Clock::now();
    WindowUpload sink(owner);
    const UploadResult sent = UploadDataFile(path, port, session, sink);
    const double seconds = SecondsSince(start);
    if (record) {
        RunEnd end;
        end.transfer = sent.transfer;
        end.uploads = 1;
        end.outcome = RecordedOutcome::kSucceeded;
        end.message = 109;
        end.time = std::chrono::system_clock::now();
        record->Finish(end);
    }

    // On a pty the last blocks can still wait in the master's buffer when the upload returns, and
    // closing the port would purge them: close only once the device has everything.
    if (!AwaitLine(port.Buffer(), kUpdateDone, nullptr)) return -1;
    port.ClosePort();
    // The simulator compared every byte with the file; anything but a match spoils the figure.
    if (device.waitForExit() != 0) {
        std::fprintf(stderr, "the simulator did not receive the file intact:\n%s\n",
                     device.restOfTranscript().c_str());
        return -1;
    }
    return seconds;
}

// The slave opened and set up as the port opens it, so that both paths cross the same terminal
// code.
int OpenLikeThePort(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0) return -1;
    cfmakeraw(&tio);
    cfsetspeed(&tio, B19200);
    tio.c_cflag |= CRTSCTS | CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &tio) == 0 ? fd : -1;
}

bool WriteAll(int fd, const char* data, std::size_t length) {
    for (std::size_t done = 0; done < length;) {
        const ssize_t n = write(fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd out{fd, POLLOUT, 0};
            poll(&out, 1, -1);
        } else {
            return false;
        }
    }
    return true;
}

// Reads from the master until `total` bytes came or the line closed.
void Drain(int master, std::size_t total) {
    std::vector<char> chunk(65536);
    for (std::size_t got = 0; got < total;) {
        const ssize_t n = read(master, chunk.data(), chunk.size());
        if (n <= 0) return;
        got += static_cast<std::size_t>(n);
    }
}

// The plain loop: the file from memory in writes of BLOCK_SIZE bytes.
double TimePlainWrites(const std::vector<char>& file, PtyPeer& peer, int slave) {
    std::thread reader(Drain, peer.Master(), file.size());
    const auto start = Clock::now();
    bool ok = true;
    for (std::size_t at = 0; ok && at < file.size(); at += BLOCK_SIZE)
        ok = WriteAll(slave, file.data() + at, std::min<std::size_t>(BLOCK_SIZE, file.size() - at));
    const double seconds = SecondsSince(start);
    reader.join();
    return ok ? seconds : -1;
}

struct Spread {
    double median;
    double fastest;
    double slowest;
};

// Rates in MiB/s from the rounds' seconds.
Spread RatesOf(std::vector<double> seconds, double mib) {
    std::sort(seconds.begin(), seconds.end());
    return {mib / seconds[seconds.size() / 2], mib / seconds.front(), mib / seconds.back()};
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
    const std::string dataFile = folder.WriteDataFile(kFileBytes);
    std::ifstream in(dataFile, std::ios::binary);
    const std::vector<char> file{std::istreambuf_iterator<char>(in), {}};

    test::LogWindow owner;  // the progress dialog's owner, as the main dialog is in the tool
    owner.Create(nullptr);
    owner.Widget()->show();
    PtyPeer plainPeer;
    const int plainSlave = OpenLikeThePort(plainPeer.SlavePath());
    if (plainSlave < 0) {
        std::fprintf(stderr, "cannot open the pseudo-terminal for the plain loop\n");
        return 1;
    }

    std::vector<double> toolSeconds;
    std::vector<double> recordedSeconds;
    std::vector<double> plainSeconds;
    for (int round = 0; round < kRounds; ++round) {
        // Which goes first changes every round, so that neither always follows the other's
        // teardown.
        for (const bool withRecord : {round % 2 == 0, round % 2 != 0})
            (withRecord ? recordedSeconds : toolSeconds)
                .push_back(TimeToolUpload(dataFile, owner, withRecord));
        plainSeconds.push_back(TimePlainWrites(file, plainPeer, plainSlave));
        if (toolSeconds.back() < 0 || recordedSeconds.back() < 0 || plainSeconds.back() < 0) {
            std::fprintf(stderr, "round %d failed\n", round + 1);
            return 1;
        }
    }
    close(plainSlave);

    const double mib = static_cast<double>(kFileBytes) / (1 << 20);
    const Spread tool = RatesOf(toolSeconds, mib);
    const Spread plain = RatesOf(plainSeconds, mib);
    const Spread recorded = RatesOf(recordedSeconds, mib);
    std::printf(
        "Upload of a %.0f MiB data file in %u-byte writes, median of %d rounds (slowest-fastest)\n",
        mib, BLOCK_SIZE, kRounds);
    std::printf(
        "  UploadDataFile -> CCommPort -> simulator : %7.1f MiB/s (%.1f-%.1f), every byte "
        "checked\n",
        tool.median, tool.slowest, tool.fastest);
    std::printf("  the same with the update record on       : %7.1f MiB/s (%.1f-%.1f)\n",
                recorded.median, recorded.slowest, recorded.fastest);
    std::printf("  plain write() loop -> pty -> reader      : %7.1f MiB/s (%.1f-%.1f)\n",
                plain.median, plain.slowest, plain.fastest);
    std::printf("  ratio upload / plain                     : %.3f\n", tool.median / plain.median);
    std::printf("  ratio with record / without              : %.3f\n",
                recorded.median / tool.median);
    return 0;
}

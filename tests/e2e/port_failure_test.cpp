// Runs that end before any update: no data file in the working folder, and a port that cannot be
// opened because another program holds it or because there is no such device.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/text_format.h"
#include "framework/worker_thread.h"
#include "res/resource.h"

namespace e2e {
namespace {

class NoDataFile : public EndToEndTest {};

TEST_F(NoDataFile, Message102ThenAnIdleWindowWithoutPort) {
    SimulatedDevice device({});
    UpdateRun run;
    bool idle = false;
    const auto boxAnswered = [&] {
        return run.Dialog() && run.Dialog()->IsWindow() && !fw::Dialog::ActiveModalWindow();
    };
    run.When(boxAnswered, [&] {
        CUpdateDlg& dialog = *run.Dialog();
        idle = !dialog.PortOpen() && dialog.Widget()->isEnabled();
    });
    run.CloseWhenSettled(boxAnswered, Gesture::kEscape);
    const RunRecord record = run.Run();

    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(IDS_NO_DATA_FILE)});
    EXPECT_FALSE(record.portDialogShown);
    EXPECT_TRUE(idle);
    EXPECT_EQ(record.stayedOpen, true);
    EXPECT_FALSE(record.exitRequested);
    // No update could start: a status of its own, and no record of a run.
    EXPECT_EQ(record.exitStatus, 2);
    EXPECT_FALSE(std::filesystem::exists(RecordFolder()));
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Stop();
    EXPECT_FALSE(Contains(report.transcript, "port opened")) << report.transcript;
}

// The one line for the operator at a terminal: the program, the port, the device and the reason.
std::vector<std::string> LinesAbout(const std::string& text, const std::string& port) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    const std::string prefix = fw::ApplicationName() + ": " + port + ": ";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    return lines;
}

struct UnavailableCase {
    const char* name;
    // Makes COM1 unavailable; returns the device path the tool will try.
    std::function<std::string(SimulatedDevice&, int& heldFd)> prepare;
    std::vector<std::string> reasonParts;  // in the standard error line, besides the path
};

void PrintTo(const UnavailableCase& c, std::ostream* out) {
    *out << c.name;
}

class UnavailablePort : public EndToEndTest, public ::testing::WithParamInterface<UnavailableCase> {
  protected:
    void TearDown() override {
        if (heldFd_ >= 0) close(heldFd_);
    }
    int heldFd_ = -1;
};

TEST_P(UnavailablePort, Message107NamingCom1AndTheProgramEnds) {
    const UnavailableCase& c = GetParam();
    folder_.WriteDataFile(1001);
    SimulatedDevice device({});
    const std::string devicePath = c.prepare(device, heldFd_);
    UpdateRun run;
    StderrCapture captured;
    const RunRecord record = run.Run();
    const std::string errors = captured.Stop();

    const std::string expected = fw::FormatMessage(IDS_PORT_UNAVAILABLE, {"COM1"});
    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{expected});
    EXPECT_TRUE(Contains(expected, "COM1"));
    ASSERT_EQ(record.boxes.size(), 1u);
    EXPECT_FALSE(record.boxes[0].portOpen);
    EXPECT_TRUE(record.exitRequested);
    EXPECT_FALSE(record.closedByTest) << "the program should have ended by itself";
    EXPECT_EQ(record.exitStatus, 2);
    EXPECT_FALSE(std::filesystem::exists(RecordFolder()));

    const std::vector<std::string> lines = LinesAbout(errors, "COM1");
    ASSERT_EQ(lines.size(), 1u) << errors;
    EXPECT_TRUE(Contains(lines[0], devicePath)) << lines[0];
    for (const std::string& part : c.reasonParts) EXPECT_TRUE(Contains(lines[0], part)) << lines[0];
    if (heldFd_ >= 0) close(std::exchange(heldFd_, -1));
    ExpectNothingLeftOf(device);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, UnavailablePort,
    ::testing::Values(UnavailableCase{"HeldByAnotherProgram",
                                      [](SimulatedDevice& device, int& heldFd) {
                                          heldFd = open(device.SlavePath().c_str(),
                                                        O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
                                          EXPECT_GE(heldFd, 0);
                                          EXPECT_EQ(flock(heldFd, LOCK_EX | LOCK_NB), 0);
                                          return device.SlavePath();
                                      },
                                      {"busy", "process " + std::to_string(getpid())}},
                      UnavailableCase{"DoesNotExist",
                                      [](SimulatedDevice&, int&) {
                                          setenv("QELPUPD_COM1", "/dev/nonexistent", 1);
                                          return std::string("/dev/nonexistent");
                                      },
                                      {"no such device"}}),
    [](const ::testing::TestParamInfo<UnavailableCase>& p) { return std::string(p.param.name); });

// The system gives no thread for the console reader: the port is given back and the run ends as
// for a port that cannot be opened, with the reason for the operator at a terminal.
class ReaderStart : public EndToEndTest {};

TEST_F(ReaderStart, AThreadThatCannotStartEndsTheRunLikeAnUnavailablePort) {
    folder_.WriteDataFile(1001);
    SimulatedDevice device({"--scenario", "silent"});
    UpdateRun run;
    bool portWasOpen = false;
    run.StartReaderWith([&](std::function<unsigned()>) -> fw::WorkerThread {
        portWasOpen = DescriptorsOpenOn(device.SlavePath()) > 0;
        throw std::system_error(EAGAIN, std::generic_category(), "thread");
    });
    StderrCapture captured;
    const RunRecord record = run.Run();
    const std::string errors = captured.Stop();

    EXPECT_TRUE(portWasOpen);
    EXPECT_EQ(record.BoxTexts(),
              std::vector<std::string>{fw::FormatMessage(IDS_PORT_UNAVAILABLE, {"COM1"})});
    ASSERT_EQ(record.boxes.size(), 1u);
    EXPECT_FALSE(record.boxes[0].portOpen) << "the port was still held while the box showed";
    EXPECT_TRUE(record.exitRequested);
    EXPECT_FALSE(record.closedByTest) << "the program should have ended by itself";
    const std::vector<std::string> lines = LinesAbout(errors, "COM1");
    ASSERT_EQ(lines.size(), 1u) << errors;
    EXPECT_TRUE(Contains(lines[0], "console reader")) << lines[0];
    EXPECT_TRUE(Contains(lines[0], std::generic_category().message(EAGAIN))) << lines[0];
    ExpectNothingLeftOf(device);
    // The port did open, so the run leaves its record; but no update could start.
    EXPECT_EQ(record.exitStatus, 2);
    std::ifstream log(RecordFolder() / "updates.log");
    std::string line;
    ASSERT_TRUE(std::getline(log, line));
    EXPECT_TRUE(
        Contains(line, R"("transfer":"none","uploads":0,"outcome":"failed","message":107,)"))
        << line;
    EXPECT_FALSE(std::getline(log, line)) << "a second record line: " << line;
}

}  // namespace
}  // namespace e2e

// Whole update runs against the simulated device, one per way the device ends a run: what the
// device received, the message that reports the outcome, and whether the program ends or keeps
// its window open with the log.

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "res/resource.h"

namespace e2e {
namespace {

struct OutcomeCase {
    const char* name;
    const char* scenario;
    std::size_t size;
    int message;           // the outcome's message
    const char* lastLine;  // the log's last line when the outcome shows
    Gesture closeBy;       // after a failure the window stays; the test closes it so
};

// Test lists show the case by its name.
void PrintTo(const OutcomeCase& c, std::ostream* out) {
    *out << c.name;
}

class Outcomes : public EndToEndTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(Outcomes, DeviceGetsTheFileAndTheEndLineDecides) {
    const OutcomeCase& c = GetParam();
    SimulatedDevice device({"--scenario", c.scenario, "--data", folder_.WriteDataFile(c.size)});
    UpdateRun run;
    run.CloseAfterOutcome(c.closeBy);
    const RunRecord record = run.Run();

    EXPECT_TRUE(record.portDialogShown);
    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(c.message)});
    ASSERT_EQ(record.boxes.size(), 1u);
    EXPECT_EQ(LastLine(record.boxes[0].log), c.lastLine);
    EXPECT_EQ(record.dataRequests, 1);
    EXPECT_EQ(record.updateEnds, 1);
    EXPECT_EQ(record.exitStatus, c.message == IDS_UPDATE_DONE ? 0 : 1);
    if (c.message == IDS_UPDATE_DONE) {
        EXPECT_TRUE(record.exitRequested);
        EXPECT_FALSE(record.closedByTest) << "the program should have ended by itself";
    } else {
        EXPECT_EQ(record.stayedOpen, true) << "the window should stay with its log";
        EXPECT_FALSE(record.exitRequested);
    }
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Finish();
    EXPECT_EQ(report.exitCode, 0) << report.transcript;
    EXPECT_TRUE(Contains(report.transcript, "result: match\n")) << report.transcript;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Outcomes,
    ::testing::Values(OutcomeCase{"EmptyFile", "success", 0, IDS_UPDATE_DONE, "Versionup succeed",
                                  Gesture::kCloseBox},
                      OutcomeCase{"RemainderOnly", "success", 150, IDS_UPDATE_DONE,
                                  "Versionup succeed", Gesture::kCloseBox},
                      OutcomeCase{"WholeBlocks", "success", 1000, IDS_UPDATE_DONE,
                                  "Versionup succeed", Gesture::kCloseBox},
                      OutcomeCase{"BlocksAndOneByte", "success", 1001, IDS_UPDATE_DONE,
                                  "Versionup succeed", Gesture::kCloseBox},
                      OutcomeCase{"LargeFile", "success", 200000, IDS_UPDATE_DONE,
                                  "Versionup succeed", Gesture::kCloseBox},
                      OutcomeCase{"ChecksumErrorCountsAsSuccess", "checksum-error", 1001,
                                  IDS_UPDATE_DONE, "record end check sum error",
                                  Gesture::kCloseBox},
                      OutcomeCase{"WarningCountsAsSuccess", "warning", 1001, IDS_UPDATE_DONE,
                                  "Warning! application area is older than the boot loader",
                                  Gesture::kCloseBox},
                      OutcomeCase{"RecordHeaderFails", "record-header", 1001, IDS_UPDATE_FAILED,
                                  "record header error (record 1)", Gesture::kCloseBox},
                      OutcomeCase{"BootmodeErrorFails", "bootmode-error", 1001, IDS_UPDATE_FAILED,
                                  "bootmode=ERROR", Gesture::kEscape},
                      OutcomeCase{"FailureThenEnter", "record-header", 150, IDS_UPDATE_FAILED,
                                  "record header error (record 1)", Gesture::kEnter}),
    [](const ::testing::TestParamInfo<OutcomeCase>& p) { return std::string(p.param.name); });

class SeveralDataFiles : public EndToEndTest {};

// Files left beside the data file: the first by name goes out, whatever order they were made in,
// and one line on standard error says which, and how many were passed over.
TEST_F(SeveralDataFiles, SendsTheFirstByNameAndSaysSo) {
    const auto writeDecoy = [&](const char* name) {
        std::ofstream(folder_.Path() / name) << std::string(1001, 'x');
    };
    writeDecoy("7118k0900.upf");
    const std::string chosen = folder_.WriteDataFile(1001);
    writeDecoy("7118K0500.UPF");
    SimulatedDevice device({"--data", chosen});
    UpdateRun run;
    StderrCapture captured;
    const RunRecord record = run.Run();
    const std::string errors = captured.Stop();

    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(IDS_UPDATE_DONE)});
    std::vector<std::string> lines;
    std::istringstream in(errors);
    for (std::string line; std::getline(in, line);)
        if (Contains(line, test::kDataFileName)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u) << errors;
    EXPECT_TRUE(Contains(lines[0], "2 other")) << lines[0];
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Finish();
    EXPECT_TRUE(Contains(report.transcript, "result: match\n")) << report.transcript;
}

class RepeatedRequest : public EndToEndTest {};

// The device asks again once the first upload has ended: the whole file goes out once more, from
// its first byte (the simulator compares the second transfer with the file).
TEST_F(RepeatedRequest, SendsTheFileAgainFromItsFirstByte) {
    SimulatedDevice device(
        {"--scenario", "twice", "--data", folder_.WriteDataFile(1001), "--idle-ms", "200"});
    UpdateRun run;
    const RunRecord record = run.Run();

    EXPECT_EQ(record.dataRequests, 2);
    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(IDS_UPDATE_DONE)});
    EXPECT_TRUE(record.exitRequested);
    const DeviceReport report = device.Finish();
    EXPECT_EQ(report.exitCode, 0) << report.transcript;
    EXPECT_TRUE(Contains(report.transcript, "result: match\n")) << report.transcript;
}

class PortChoiceTest : public EndToEndTest {};

// COM2 picked in the port dialog opens the device named for COM2; COM1 would not open at all.
TEST_F(PortChoiceTest, Com2ClickedOpensTheSecondPort) {
    SimulatedDevice device({"--data", folder_.WriteDataFile(1001)}, 2);
    setenv("QELPUPD_COM1", "/dev/nonexistent", 1);
    UpdateRun run(PortChoice::kCom2ByClick);
    const RunRecord record = run.Run();
    unsetenv("QELPUPD_COM1");

    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(IDS_UPDATE_DONE)});
    const DeviceReport report = device.Finish();
    EXPECT_EQ(report.exitCode, 0) << report.transcript;
}

}  // namespace
}  // namespace e2e

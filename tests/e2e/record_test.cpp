// What each kind of run leaves behind for the operator: the update record's line, the console file
// it names, and the exit status. A run that never opened a port leaves no record; a record that
// cannot be written costs the update nothing but one line on standard error.

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "res/resource.h"
#include "support/record_field.h"
#include "update/data_upload.h"
#include "update/sha256.h"

namespace e2e {
namespace {

enum class Ending { kByDevice, kCancelThenDevice, kCloseAfterBootLines };

struct RecordCase {
    const char* name;
    std::vector<std::string> device;  // simulator options besides --data
    std::size_t size;
    Ending ending;
    int exitStatus;
    const char* outcome;
    const char* message;  // as the record writes it
    const char* transfer;
    const char* sent;  // the record's "sent" object
    const char* lastLine;
};

void PrintTo(const RecordCase& c, std::ostream* out) {
    *out << c.name;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The log as the console file keeps it: one LF per line.
std::string WithoutCr(std::string text) {
    std::erase(text, '\r');
    return text;
}

class RecordOfARun : public EndToEndTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordOfARun, LeavesTheRightRecordAndExitStatus) {
    const RecordCase& c = GetParam();
    const std::string data = folder_.WriteDataFile(c.size);
    std::vector<std::string> options = c.device;
    if (c.ending != Ending::kCloseAfterBootLines) options.insert(options.end(), {"--data", data});
    SimulatedDevice device(options);
    UpdateRun run;
    std::string logAtEnd;
    switch (c.ending) {
        case Ending::kByDevice:
            run.CloseAfterOutcome(Gesture::kCloseBox);
            break;
        case Ending::kCancelThenDevice:
            run.AtUploadStart([&] { run.CancelUpload(); });
            run.CloseAfterOutcome(Gesture::kEscape);
            break;
        case Ending::kCloseAfterBootLines:
            run.When([&] { return run.LogContains("Waiting for update data"); },
                     [&] {
                         logAtEnd = run.Dialog()->GetDlgItemText(IDC_LOG);
                         run.Perform(Gesture::kCloseBox);
                     });
            break;
    }
    const RunRecord record = run.Run();
    device.Stop();
    if (!record.boxes.empty()) logAtEnd = record.boxes.back().log;

    EXPECT_EQ(record.exitStatus, c.exitStatus);
    const std::vector<std::string> lines = LinesOf(ReadFile(RecordFolder() / "updates.log"));
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    EXPECT_EQ(test::RecordField(line, "outcome"), c.outcome) << line;
    EXPECT_EQ(test::RecordField(line, "message"), c.message) << line;
    EXPECT_EQ(test::RecordField(line, "transfer"), c.transfer) << line;
    if (c.sent) {
        EXPECT_TRUE(Contains(line, std::string("\"sent\":{\"bytes\":") + c.sent)) << line;
    } else {
        // Cut short somewhere: whole blocks only, and fewer than the file has.
        EXPECT_TRUE(Contains(line, "\"remainder\":0,")) << line;
        EXPECT_LT(std::stoul(test::RecordField(line, "blocks")), c.size / BLOCK_SIZE) << line;
    }
    EXPECT_EQ(test::RecordField(line, "last_line"), c.lastLine ? c.lastLine : LastLine(logAtEnd))
        << line;
    EXPECT_EQ(test::RecordField(line, "port"), "COM1");
    EXPECT_EQ(test::RecordField(line, "device"), device.SlavePath());
    EXPECT_EQ(test::RecordField(line, "path"), data);
    if (std::string(c.transfer) == "none") {
        // Nothing went out: no bytes to name.
        EXPECT_EQ(test::RecordField(line, "length"), "null");
        EXPECT_EQ(test::RecordField(line, "sha256"), "null");
    } else {
        EXPECT_EQ(test::RecordField(line, "length"), std::to_string(c.size));
        const std::string bytes = test::DataPattern(c.size);
        Sha256 hash;
        hash.Update(bytes.data(), bytes.size());
        EXPECT_EQ(test::RecordField(line, "sha256"), Sha256::Hex(hash.Finish()));
    }
    EXPECT_LE(test::RecordField(line, "start"), test::RecordField(line, "end"));
    // The console file holds the log as the window showed it.
    const std::filesystem::path console = test::RecordField(line, "console_log");
    EXPECT_EQ(console.parent_path(), RecordFolder());
    EXPECT_EQ(ReadFile(console), WithoutCr(logAtEnd));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RecordOfARun,
    ::testing::Values(RecordCase{"Success",
                                 {},
                                 1001,
                                 Ending::kByDevice,
                                 0,
                                 "succeeded",
                                 "109",
                                 "complete",
                                 "1001,\"blocks\":5,\"remainder\":1,\"block_size\":200}",
                                 "Versionup succeed"},
                      RecordCase{"FailureKeyword",
                                 {"--scenario", "record-header"},
                                 1000,
                                 Ending::kByDevice,
                                 1,
                                 "failed",
                                 "108",
                                 "complete",
                                 "1000,\"blocks\":5,\"remainder\":0,\"block_size\":200}",
                                 "record header error (record 1)"},
                      RecordCase{"Cancel",
                                 {"--scenario", "record-header", "--idle-ms", "300"},
                                 20000,
                                 Ending::kCancelThenDevice,
                                 1,
                                 "failed",
                                 "108",
                                 "cancelled",
                                 "0,\"blocks\":0,\"remainder\":0,\"block_size\":200}",
                                 "record header error (record 1)"},
                      RecordCase{"HangUp",
                                 {"--scenario", "hangup", "--hangup-after", "100000"},
                                 200000,
                                 Ending::kByDevice,
                                 1,
                                 "failed",
                                 "108",
                                 "hung-up",
                                 nullptr,
                                 "bootmode=DATAWAIT"},
                      RecordCase{"OperatorClose",
                                 {"--scenario", "silent"},
                                 1001,
                                 Ending::kCloseAfterBootLines,
                                 1,
                                 "closed-by-operator",
                                 "null",
                                 "none",
                                 "0,\"blocks\":0,\"remainder\":0,\"block_size\":200}",
                                 nullptr}),
    [](const ::testing::TestParamInfo<RecordCase>& p) { return std::string(p.param.name); });

class UnwritableRecord : public EndToEndTest {};

// A state folder that cannot be made (a file stands in its way, which stops root too): one line on
// standard error says so, and the update runs and ends exactly as it does with a record.
TEST_F(UnwritableRecord, OneLineOnStderrAndTheUpdateUnchanged) {
    std::filesystem::create_directories(StateHome());
    std::ofstream(RecordFolder()) << "in the way";
    SimulatedDevice device({"--data", folder_.WriteDataFile(1001)});
    UpdateRun run;
    StderrCapture capture;
    const RunRecord record = run.Run();
    const std::string errors = capture.Stop();

    EXPECT_EQ(record.BoxTexts(), std::vector<std::string>{Text(IDS_UPDATE_DONE)});
    EXPECT_TRUE(record.exitRequested);
    EXPECT_EQ(record.exitStatus, 0);
    // Qt's offscreen platform says things of its own on standard error: count the record's lines.
    std::vector<std::string> lines;
    for (const std::string& line : LinesOf(errors))
        if (Contains(line, "update record")) lines.push_back(line);
    ASSERT_EQ(lines.size(), 1u) << errors;
    EXPECT_TRUE(Contains(lines[0], RecordFolder().string())) << lines[0];
    EXPECT_TRUE(Contains(lines[0], "Not a directory")) << lines[0];
    EXPECT_EQ(ReadFile(RecordFolder()), "in the way");
    ExpectNothingLeftOf(device);
    const DeviceReport report = device.Finish();
    EXPECT_EQ(report.exitCode, 0) << report.transcript;
    EXPECT_TRUE(Contains(report.transcript, "result: match\n")) << report.transcript;
}

}  // namespace
}  // namespace e2e

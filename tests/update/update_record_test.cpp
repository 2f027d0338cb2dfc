// The update record on a real file system: one whole run and what it leaves, a second run beside
// it, the console files kept to the newest ones, a data file that cannot be read, a directory that
// cannot be made, and two processes appending at once.

#include "update/update_record.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <new>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/record_field.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class UpdateRecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/qelpupd-record-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        // Missing parents too, as a fresh home has no ~/.local/state.
        directory_ = root_ / "state" / "qelpupd";
        dataFile_ = root_ / "7118K0100.UPF";
        std::ofstream(dataFile_, std::ios::binary) << "abc";
    }
    void TearDown() override { fs::remove_all(root_); }

    UpdateRecord MakeRecord() {
        return UpdateRecord(directory_.string(),
                            [this](const std::string& line) { problems_.push_back(line); });
    }
    RunStart StartOn(const std::string& port) const {
        return {"qelpupd",
                "9.8.7",
                port,
                "/dev/pts/9",
                dataFile_.string(),
                std::chrono::system_clock::now()};
    }
    // A transfer of 5 whole blocks and a 1-byte remainder, or none.
    static RunEnd Ended(std::optional<TransferEnd> transfer, RecordedOutcome outcome, int message) {
        RunEnd end;
        if (transfer) end.transfer = TransferResult{*transfer, 5, 1, {}};
        end.uploads = 1;
        end.outcome = outcome;
        end.message = message;
        end.time = std::chrono::system_clock::now();
        return end;
    }
    std::vector<std::string> RecordLines() const {
        return Lines(ReadAll(directory_ / kRecordFileName));
    }

    fs::path root_;
    fs::path directory_;
    fs::path dataFile_;
    std::vector<std::string> problems_;
};

TEST_F(UpdateRecordTest, RunLeavesOneLineAndItsConsoleFile) {
    {
        UpdateRecord record(directory_.string(),
                            [this](const std::string& line) { problems_.push_back(line); });
        record.Start(StartOn("COM1"));
        record.ConsoleLine("QELP boot loader");
        record.ConsoleLine("");
        // A device line with a quote and control characters must not break the record's line.
        record.ConsoleLine("record header \"x\"\t\x01 end");
        record.DataSent(std::make_shared<const std::vector<unsigned char>>(3, 'x'));
        record.DataSent(std::make_shared<const std::vector<unsigned char>>(
            std::vector<unsigned char>{'a', 'b', 'c'}));
        record.Finish(Ended(TransferEnd::kComplete, RecordedOutcome::kFailed, 108));
        record.ConsoleLine("after the end");
    }
    EXPECT_EQ(problems_, std::vector<std::string>{});
    EXPECT_EQ(fs::status(directory_).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(directory_.parent_path()).permissions() & fs::perms::all,
              fs::perms::owner_all);

    const std::vector<std::string> lines = RecordLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_EQ(test::RecordField(line, "program"), "qelpupd");
    EXPECT_EQ(test::RecordField(line, "version"), "9.8.7");
    EXPECT_EQ(test::RecordField(line, "port"), "COM1");
    EXPECT_EQ(test::RecordField(line, "device"), "/dev/pts/9");
    EXPECT_EQ(test::RecordField(line, "path"), dataFile_.string());
    EXPECT_TRUE(Has(line, "\"length\":3,"));
    EXPECT_EQ(test::RecordField(line, "sha256"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(Has(line, R"("sent":{"bytes":1001,"blocks":5,"remainder":1,"block_size":200})"));
    EXPECT_EQ(test::RecordField(line, "transfer"), "complete");
    EXPECT_EQ(test::RecordField(line, "outcome"), "failed");
    EXPECT_TRUE(Has(line, "\"message\":108,"));
    EXPECT_EQ(test::RecordField(line, "last_line"), R"(record header \"x\"\t\u0001 end)");
    EXPECT_TRUE(Has(line, "\"console_lines\":3,"));
    // 2026-12-08T22:30:08.123+01:00
    for (const char* key : {"start", "end"}) {
        const std::string time = test::RecordField(line, key);
        EXPECT_EQ(time.size(), 29u) << time;
        EXPECT_EQ(time.substr(10, 1), "T") << time;
        EXPECT_EQ(time.substr(26, 1), ":") << time;
    }

    const fs::path console = test::RecordField(line, "console_log");
    EXPECT_EQ(console.parent_path(), directory_);
    EXPECT_TRUE(Has(console.filename().string(), "-COM1.log")) << console;
    EXPECT_EQ(ReadAll(console), "QELP boot loader\n\nrecord header \"x\"\t\x01 end\n");
    EXPECT_EQ(fs::status(console).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(UpdateRecordTest, ASecondRunAppendsBesideTheFirst) {
    for (const char* port : {"COM1", "COM2"}) {
        UpdateRecord record = MakeRecord();
        record.Start(StartOn(port));
        record.Finish(Ended(std::nullopt, RecordedOutcome::kClosedByOperator, 0));
    }
    const std::vector<std::string> lines = RecordLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(test::RecordField(lines[0], "port"), "COM1");
    EXPECT_EQ(test::RecordField(lines[1], "port"), "COM2");
    EXPECT_EQ(test::RecordField(lines[1], "outcome"), "closed-by-operator");
    EXPECT_TRUE(Has(lines[1], "\"message\":null,"));
    EXPECT_TRUE(Has(lines[1], "\"last_line\":null,"));
    EXPECT_NE(test::RecordField(lines[0], "console_log"),
              test::RecordField(lines[1], "console_log"));
}

TEST_F(UpdateRecordTest, NamesTheLinesThatHeldTheLastWrite) {
    const struct {
        OutputHold hold;
        const char* field;
    } cases[] = {
        {{}, R"("held_by":null,)"},
        {{.dsr = true}, R"("held_by":["DSR"],)"},
        {{.cts = true}, R"("held_by":["CTS"],)"},
        {{.cts = true, .dsr = true}, R"("held_by":["CTS","DSR"],)"},
    };
    for (const auto& c : cases) {
        UpdateRecord record = MakeRecord();
        record.Start(StartOn("COM1"));
        RunEnd end = Ended(TransferEnd::kWriteFailed, RecordedOutcome::kClosedByOperator, 0);
        end.transfer->heldBy = c.hold;
        record.Finish(end);
    }
    const std::vector<std::string> lines = RecordLines();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(Has(lines[i], cases[i].field)) << lines[i];
}

TEST_F(UpdateRecordTest, KeepsOnlyTheNewestConsoleFiles) {
    fs::create_directories(directory_);
    const auto now = fs::file_time_type::clock::now();
    // Names that sort the other way round from their age: the age decides.
    const int old = kKeptConsoleFiles + 5;
    for (int i = 0; i < old; ++i) {
        const fs::path file = directory_ / ("console-" + std::to_string(1000 + i) + "-COM1.log");
        std::ofstream(file) << i;
        fs::last_write_time(file, now - std::chrono::hours(1 + i));
    }
    std::ofstream(directory_ / "notes.txt") << "mine";
    std::ofstream(directory_ / kRecordFileName) << "{}\n";

    UpdateRecord record = MakeRecord();
    record.Start(StartOn("COM1"));
    record.Finish(Ended(std::nullopt, RecordedOutcome::kClosedByOperator, 0));

    std::set<std::string> consoles;
    for (const auto& entry : fs::directory_iterator(directory_))
        if (entry.path().filename().string().rfind("console-", 0) == 0)
            consoles.insert(entry.path().filename().string());
    EXPECT_EQ(consoles.size(), static_cast<std::size_t>(kKeptConsoleFiles));
    const std::string newest =
        fs::path(test::RecordField(RecordLines().back(), "console_log")).filename();
    EXPECT_EQ(consoles.count(newest), 1u);
    // The oldest six went: the new one and the 199 youngest of the old stay.
    for (int i = 0; i < old; ++i) {
        const std::string name = "console-" + std::to_string(1000 + i) + "-COM1.log";
        EXPECT_EQ(consoles.count(name), i < kKeptConsoleFiles - 1 ? 1u : 0u) << name;
    }
    EXPECT_TRUE(fs::exists(directory_ / "notes.txt"));
    EXPECT_EQ(RecordLines().size(), 2u);
}

// The fingerprint is that of the bytes the last upload wrote, whatever the file holds by the end;
// a run that sent nothing names none.
TEST_F(UpdateRecordTest, TheFingerprintIsOfTheBytesSentLast) {
    const auto bytes = [](const std::string& text) {
        return std::make_shared<const std::vector<unsigned char>>(text.begin(), text.end());
    };
    {
        UpdateRecord record = MakeRecord();
        record.Start(StartOn("COM1"));
        record.Finish(Ended(std::nullopt, RecordedOutcome::kFailed, 108));
    }
    {
        UpdateRecord record = MakeRecord();
        record.Start(StartOn("COM2"));
        record.DataSent(bytes("the first file, sent once"));
        record.DataSent(bytes("abc"));
        std::ofstream(dataFile_, std::ios::binary) << "replaced meanwhile";
        record.Finish(Ended(TransferEnd::kComplete, RecordedOutcome::kSucceeded, 109));
    }
    const std::vector<std::string> lines = RecordLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(Has(lines[0], R"("length":null,"sha256":null)")) << lines[0];
    EXPECT_TRUE(Has(
        lines[1],
        R"("length":3,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad")"))
        << lines[1];
    EXPECT_EQ(problems_, std::vector<std::string>{});
}

TEST_F(UpdateRecordTest, UnwritableDirectoryReportsOnceAndRecordsNothing) {
    // A file where a directory should be fails even for root, who may write anywhere else.
    std::ofstream(root_ / "state") << "in the way";
    UpdateRecord record = MakeRecord();
    record.Start(StartOn("COM1"));
    record.ConsoleLine("QELP boot loader");
    record.Finish(Ended(TransferEnd::kComplete, RecordedOutcome::kSucceeded, 109));

    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_TRUE(Has(problems_[0], "qelpupd: ")) << problems_[0];
    EXPECT_TRUE(Has(problems_[0], directory_.string())) << problems_[0];
    EXPECT_TRUE(Has(problems_[0], "Not a directory")) << problems_[0];
    EXPECT_FALSE(Has(problems_[0], "\n"));
    EXPECT_EQ(ReadAll(root_ / "state"), "in the way");
}

TEST_F(UpdateRecordTest, RecordThatCannotBeAppendedReportsOnce) {
    fs::create_directories(directory_ / kRecordFileName);  // a directory by the record's name
    UpdateRecord record = MakeRecord();
    record.Start(StartOn("COM1"));
    record.Finish(Ended(TransferEnd::kComplete, RecordedOutcome::kSucceeded, 109));
    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_TRUE(Has(problems_[0], "updates.log")) << problems_[0];
    EXPECT_TRUE(Has(problems_[0], "Is a directory")) << problems_[0];
}

// The record's own code failing (here: no memory to start its helper) costs the run nothing: the
// line is still written, whole, and names the fault; the bytes sent are hashed all the same.
TEST_F(UpdateRecordTest, AFaultOfItsOwnIsNamedInTheLine) {
    UpdateRecord record(
        directory_.string(), [this](const std::string& line) { problems_.push_back(line); },
        [](std::function<void()>) -> std::thread { throw std::bad_alloc(); });
    EXPECT_EQ(record.Start(StartOn("COM1")), std::nullopt);
    record.ConsoleLine("QELP boot loader");
    record.DataSent(std::make_shared<const std::vector<unsigned char>>(
        std::vector<unsigned char>{'a', 'b', 'c'}));
    record.Finish(Ended(TransferEnd::kComplete, RecordedOutcome::kSucceeded, 109));

    const std::vector<std::string> lines = RecordLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(test::RecordField(lines[0], "record_problem"), "starting: std::bad_alloc")
        << lines[0];
    EXPECT_EQ(test::RecordField(lines[0], "sha256"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(Has(lines[0], R"("console_log_complete":true,"console_log_lines":1,)")) << lines[0];
    ASSERT_EQ(problems_.size(), 1u);
    EXPECT_TRUE(Has(problems_[0], "a fault of its own")) << problems_[0];
}

// The reader may still deliver lines while the run is finished on the UI thread: the record's count
// and last line agree with the console file, which holds whole lines only.
TEST_F(UpdateRecordTest, LinesDuringFinishStayConsistent) {
    UpdateRecord record = MakeRecord();
    record.Start(StartOn("COM1"));
    std::atomic<int> written{0};
    std::thread reader([&] {
        for (int i = 0; i < 20000; ++i) {
            record.ConsoleLine("line " + std::to_string(i));
            written.store(i + 1);
        }
    });
    while (written.load() < 100) std::this_thread::yield();
    record.Finish(Ended(TransferEnd::kComplete, RecordedOutcome::kSucceeded, 109));
    reader.join();

    const std::string line = RecordLines().at(0);
    const std::vector<std::string> console = Lines(ReadAll(test::RecordField(line, "console_log")));
    ASSERT_FALSE(console.empty());
    EXPECT_TRUE(Has(line, "\"console_lines\":" + std::to_string(console.size()) + ","));
    EXPECT_EQ(test::RecordField(line, "last_line"), console.back());
    for (std::size_t i = 0; i < console.size(); ++i)
        ASSERT_EQ(console[i], "line " + std::to_string(i));
}

// Two programs on two ports finish their runs at the same moments, with long device lines: every
// line in the record is one whole record.
TEST_F(UpdateRecordTest, TwoProcessesNeverInterleave) {
    constexpr int kRuns = 150;
    const std::string longLine(6000, 'x');
    std::vector<pid_t> children;
    for (const char* port : {"COM1", "COM2"}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(60);  // a child that hangs is killed
            for (int run = 0; run < kRuns; ++run) {
                UpdateRecord record(directory_.string(), [](const std::string&) { _exit(3); });
                record.Start(StartOn(port));
                record.ConsoleLine(std::string(port) + longLine);
                record.Finish(Ended(TransferEnd::kComplete, RecordedOutcome::kSucceeded, 109));
            }
            _exit(0);
        }
        children.push_back(child);
    }
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    for (pid_t child : children) {
        int status = -1;
        while (waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    int perPort[2] = {0, 0};
    for (const std::string& line : RecordLines()) {
        ASSERT_EQ(line.rfind("{\"start\":", 0), 0u) << line.substr(0, 80);
        ASSERT_EQ(line.back(), '}');
        const std::string last = test::RecordField(line, "last_line");
        const std::string port = test::RecordField(line, "port");
        EXPECT_EQ(last, port + longLine);
        ++perPort[port == "COM1" ? 0 : 1];
    }
    EXPECT_EQ(perPort[0], kRuns);
    EXPECT_EQ(perPort[1], kRuns);
}

}  // namespace

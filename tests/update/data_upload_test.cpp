// The block transfer and the upload over a real pseudo-terminal, reporting to recording sinks: what
// goes on the line, in which writes, what the progress display is told, how the transfer ends
// (complete, cancelled, hung up, timed out), and the data file's failures. No windows.

#include "update/data_upload.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "serial/comm_port.h"
#include "serial/pass_through_device.h"
#include "serial/pty_peer.h"
#include "support/work_folder.h"

namespace {

using namespace std::chrono_literals;

// Notes what the transfer tells the display; Cancel is pressed at the chosen CancelRequested call
// (counting from 1), and `onStep` runs at each StepBar with its number.
class RecordingProgress final : public TransferProgress {
  public:
    void SetBarRange(int lower, int upper) override { calls.push_back(Range(lower, upper)); }
    void SetBarStep(int step) override { calls.push_back("step " + std::to_string(step)); }
    void StepBar() override {
        ++steps;
        if (onStep) onStep(steps);
    }
    bool CancelRequested() override { return ++cancelChecks == cancelAtCheck; }

    static std::string Range(int lower, int upper) {
        return "range " + std::to_string(lower) + ".." + std::to_string(upper);
    }

    std::vector<std::string> calls;
    int steps = 0;
    int cancelChecks = 0;
    int cancelAtCheck = 0;
    std::function<void(int)> onStep;
};

class PortOnPty : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("QELPUPD_COM1", peer.SlavePath().c_str(), 1);
        port = std::make_unique<CCommPort>(std::make_unique<BlockNotingDevice>(
            MakeSerialDevice(), [this](long n) { writes.push_back(n); }));
        port->BaudRate = UPDATE_BAUD;
        ASSERT_NE(port->OpenPort("COM1"), 0);
    }
    void TearDown() override { port.reset(); }

    // Sends `bytes` while a thread drains the line; returns what arrived.
    std::string SendDrained(const std::string& bytes, int idleMs = 2000) {
        auto received =
            std::async(std::launch::async, [&] { return peer.Receive(bytes.size(), idleMs); });
        result = SendBlocks(Bytes(bytes), *port, progress);
        return received.get();
    }
    static std::span<const unsigned char> Bytes(const std::string& bytes) {
        return {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
    }

    PtyPeer peer;
    std::unique_ptr<CCommPort> port;
    RecordingProgress progress;
    TransferResult result;
    std::vector<long> writes;
};

struct SizeCase {
    std::size_t size;
    std::vector<long> writes;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.size << " bytes";
}

class TransferSizes : public PortOnPty, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(TransferSizes, SendsTheWholeFileInBlocksOf200AndTheRemainder) {
    const std::string file = test::DataPattern(GetParam().size);
    const std::string received = SendDrained(file);
    EXPECT_EQ(received.size(), file.size());
    EXPECT_TRUE(received == file);
    EXPECT_EQ(writes, GetParam().writes);

    const int blocks = static_cast<int>(file.size() / BLOCK_SIZE);
    EXPECT_EQ(progress.calls,
              (std::vector<std::string>{RecordingProgress::Range(0, blocks), "step 1"}));
    EXPECT_EQ(progress.steps, blocks);  // none for a file shorter than a block
    EXPECT_EQ(result.end, TransferEnd::kComplete);
    EXPECT_EQ(result.blocksSent, static_cast<std::uint32_t>(blocks));
    EXPECT_EQ(result.BytesSent(), file.size());
}

INSTANTIATE_TEST_SUITE_P(Files, TransferSizes,
                         ::testing::Values(SizeCase{0, {}}, SizeCase{150, {150}},
                                           SizeCase{1000, std::vector<long>(5, 200)},
                                           SizeCase{1001, {200, 200, 200, 200, 200, 1}},
                                           SizeCase{200000, std::vector<long>(1000, 200)}),
                         [](const auto& param_info) {
                             return "Bytes" + std::to_string(param_info.param.size);
                         });

TEST_F(PortOnPty, CancelSendsTheWholeBlocksBeforeItAndNoRemainder) {
    const std::string file = test::DataPattern(2000 + 50);  // ten blocks and a remainder
    progress.cancelAtCheck = 3;                             // pressed while block 2 went out
    const std::string received = SendDrained(file, 300);    // listens until the line is quiet
    EXPECT_EQ(writes, (std::vector<long>{200, 200}));
    EXPECT_EQ(received, file.substr(0, 400));
    EXPECT_EQ(result.end, TransferEnd::kCancelled);
    EXPECT_EQ(result.blocksSent, 2u);
    EXPECT_EQ(result.BytesSent(), 400u);
}

TEST_F(PortOnPty, AHangUpStopsTheTransferAsHungUp) {
    const std::string file = test::DataPattern(2000 + 50);
    progress.onStep = [&](int step) {
        if (step == 3) peer.HangUp();  // the cable is pulled after two blocks
    };
    result = SendBlocks(Bytes(file), *port, progress);
    EXPECT_EQ(result.end, TransferEnd::kHungUp);
    EXPECT_EQ(result.blocksSent, 2u);
    EXPECT_EQ(result.BytesSent(), 400u);
    EXPECT_EQ(port->LastWriteFailure(), WriteFailure::kGone);
}

TEST_F(PortOnPty, APeerThatStopsReadingEndsTheTransferByTheWriteTimeOut) {
    // Nobody reads the line: once the terminal's buffer is full, a block waits for room until the
    // time-out, and a block with a hole stops the transfer.
    port->SetWriteTimeout(100ms);
    const std::string file = test::DataPattern(200000);
    result = SendBlocks(Bytes(file), *port, progress);
    EXPECT_EQ(result.end, TransferEnd::kWriteFailed);
    EXPECT_EQ(port->LastWriteFailure(), WriteFailure::kTimedOut);
    EXPECT_GT(result.blocksSent, 0u);
    EXPECT_LT(result.blocksSent, 1000u);
    EXPECT_EQ(result.remainderSent, 0u);
    EXPECT_EQ(progress.steps, static_cast<int>(result.blocksSent) + 1);
}

// Notes what the upload reports, and hands out the recording display unless told not to.
class RecordingUploadSink final : public UploadSink {
  public:
    void ReportFileProblem(DataFileStatus status, const std::string&, int) override {
        problems.push_back(status);
    }
    TransferProgress* BeginTransfer(std::uint64_t totalBytes) override {
        ++begun;
        total = totalBytes;
        return display ? &progress : nullptr;
    }
    void ReportWriteHeld(const OutputHold&) override {}
    void EndTransfer(const TransferResult&) override { ++ended; }

    RecordingProgress progress;
    bool display = true;
    std::vector<DataFileStatus> problems;
    int begun = 0;
    int ended = 0;
    std::uint64_t total = 0;
};

class Upload : public PortOnPty {
  protected:
    void SetUp() override {
        PortOnPty::SetUp();
        session.buffer = &port->Buffer();
        path = (folder.Path() / test::kDataFileName).string();
    }
    UploadResult Run() {
        auto received = std::async(std::launch::async, [&] { return peer.Receive(1, 200); });
        UploadResult uploaded = UploadDataFile(path, *port, session, sink);
        unexpected = received.get();
        return uploaded;
    }

    test::WorkFolder folder;
    std::string path;
    UpdateSession session;
    RecordingUploadSink sink;
    std::string unexpected;  // what reached the line
};

TEST_F(Upload, AFileThatCannotBeOpenedIsReportedAndEndsTheRunAsFailed) {
    const struct {
        const char* name;
        std::function<void()> prepare;
        std::function<void()> undo;
    } cases[] = {
        {"missing", [] {}, [] {}},
        {"a directory that matches the pattern", [&] { std::filesystem::create_directory(path); },
         [&] { std::filesystem::remove(path); }},
        // A FIFO without writer must not hang the upload.
        {"a FIFO", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
         [&] { std::filesystem::remove(path); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        session.flags.stop = 0;
        session.flags.result = 1;
        session.endCause = EndCause::kNone;
        sink.problems.clear();
        c.prepare();
        const UploadResult uploaded = Run();
        c.undo();
        EXPECT_EQ(uploaded.file, DataFileStatus::kCannotOpen);
        EXPECT_FALSE(uploaded.transfer.has_value());
        EXPECT_EQ(sink.problems, std::vector<DataFileStatus>{DataFileStatus::kCannotOpen});
        EXPECT_EQ(session.flags.stop.load(), 1);
        EXPECT_EQ(session.flags.result.load(), 0);
        EXPECT_EQ(session.endCause.load(), EndCause::kFileProblem);
    }
    EXPECT_EQ(sink.begun, 0);
    EXPECT_EQ(unexpected, "");
    EXPECT_TRUE(writes.empty());
}

TEST_F(Upload, AFileHeldByAnotherProgramIsNotSent) {
    std::ofstream(path) << "data";
    const int holder = open(path.c_str(), O_RDONLY);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);  // another program has it open exclusively
    const UploadResult uploaded = Run();
    close(holder);
    EXPECT_EQ(uploaded.file, DataFileStatus::kCannotOpen);
    EXPECT_EQ(session.flags.result.load(), 0);
    EXPECT_TRUE(writes.empty());
}

TEST_F(Upload, WithoutAProgressDisplayNothingIsSent) {
    folder.WriteDataFile(1001);
    sink.display = false;
    const UploadResult uploaded = Run();
    EXPECT_EQ(uploaded.file, DataFileStatus::kOk);
    EXPECT_FALSE(uploaded.transfer.has_value());
    EXPECT_EQ(sink.ended, 0);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(session.flags.stop.load(), 0);
}

TEST_F(Upload, AReadableFileGoesOutBetweenBeginAndEnd) {
    const std::string file = test::DataPattern(1001);
    folder.WriteDataFile(file.size());
    auto received = std::async(std::launch::async, [&] { return peer.Receive(file.size()); });
    const UploadResult uploaded = UploadDataFile(path, *port, session, sink);
    EXPECT_TRUE(received.get() == file);
    EXPECT_EQ(uploaded.file, DataFileStatus::kOk);
    ASSERT_TRUE(uploaded.transfer.has_value());
    EXPECT_EQ(uploaded.transfer->end, TransferEnd::kComplete);
    EXPECT_EQ(uploaded.transfer->BytesSent(), 1001u);
    EXPECT_EQ(sink.begun, 1);
    EXPECT_EQ(sink.total, 1001u);
    EXPECT_EQ(sink.ended, 1);
    ASSERT_TRUE(uploaded.bytes);
    EXPECT_TRUE(std::string(uploaded.bytes->begin(), uploaded.bytes->end()) == file);
    EXPECT_EQ(sink.progress.steps, 5);
    EXPECT_TRUE(sink.problems.empty());
}

}  // namespace

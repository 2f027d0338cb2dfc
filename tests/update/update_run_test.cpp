// One update run over a real pseudo-terminal, its far end playing the device, driven as a program
// drives it: every way a run ends, and the outcome, the terminal program's exit status and the
// record line that each gives. No windows.

#include "update/update_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <system_error>

#include "cli/outcome.h"
#include "serial/pty_peer.h"
#include "support/work_folder.h"

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFileSize = 1001;  // five blocks and one byte

// What the front end does, and when.
enum class Act {
    kNothing,
    kCancelAtBlock3,  // the operator presses Cancel while block 2 goes out
    kStopAtBlock3,    // a stop (the row's cause) while block 2 goes out
    kStopAfterBoot,   // a stop before the device asks for the data
    kStopAfterEnd,    // a stop once the device has ended the run
    kEndNowAtBlock3,  // the session ends (the row's cause) while block 2 goes out
};

enum class File { kWhole, kMissing, kTooLarge };

struct RunCase {
    const char* name;
    const char* endLine = "";  // what the device says after the transfer; "" for nothing
    // The device goes away after 400 bytes instead, while the blocks still wait for room: the file
    // is larger than a pseudo-terminal holds.
    bool hangUp = false;
    Act act = Act::kNothing;
    EndCause stop = EndCause::kNone;
    const char* stopDetail = "";
    File file = File::kWhole;
    // Expected:
    const char* outcome;
    const char* endedBy;
    const char* detail;  // "null" for none
    const char* transfer;
    const char* message;
    int cliStatus;
};

void PrintTo(const RunCase& c, std::ostream* out) {
    *out << c.name;
}

// The console sink of a program: keeps the news for the owning thread.
class NewsSink final : public ConsoleSink {
  public:
    bool ShowLine(std::string_view) override { return true; }
    void DataRequested() override { Post(dataRequests_); }
    void RunEnded() override { Post(ended_); }

    // Waits for news: true for a data request, false once the run ended (or after 10 s).
    bool NextIsDataRequest() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10s, [&] { return dataRequests_ > 0 || ended_ > 0; });
        if (dataRequests_ == 0) return false;
        --dataRequests_;
        return true;
    }
    bool WaitForEnd() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return ended_ > 0; });
    }

  private:
    void Post(int& count) {
        std::lock_guard lock(mutex_);
        ++count;
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    int dataRequests_ = 0;
    int ended_ = 0;
};

class ActingSink final : public UploadSink, public TransferProgress {
  public:
    explicit ActingSink(std::function<void(int)> atBlock) : atBlock_(std::move(atBlock)) {}
    void ReportFileProblem(DataFileStatus, const std::string&, int) override {}
    TransferProgress* BeginTransfer(std::uint64_t) override { return this; }
    void ReportWriteHeld(const OutputHold&) override {}
    void EndTransfer(const TransferResult&) override {}
    void SetBarRange(int, int) override {}
    void SetBarStep(int) override {}
    void StepBar() override { atBlock_(++steps_); }
    bool CancelRequested() override { return cancel; }
    bool cancel = false;

  private:
    std::function<void(int)> atBlock_;
    int steps_ = 0;
};

std::string Field(const std::string& line, const std::string& key) {
    const std::string start = "\"" + key + "\":";
    const auto at = line.find(start);
    if (at == std::string::npos) return "<missing>";
    const auto from = at + start.size();
    if (line[from] != '"') return line.substr(from, line.find_first_of(",}", from) - from);
    return line.substr(from + 1, line.find('"', from + 1) - from - 1);
}

class RunEndings : public ::testing::TestWithParam<RunCase> {
  protected:
    RunSettings Settings() {
        RunSettings settings;
        settings.program = "test";
        settings.recordDirectory = (folder_.Path() / "state").string();
        return settings;
    }
    std::string RecordLine() const {
        std::ifstream in(folder_.Path() / "state" / kRecordFileName);
        std::string line;
        std::getline(in, line);
        return line;
    }
    PortMapping Port() const { return {"COM1", peer_.SlavePath(), "test device"}; }

    test::WorkFolder folder_;
    PtyPeer peer_;
};

TEST_P(RunEndings, GiveTheirOutcomeStatusAndRecord) {
    const RunCase& c = GetParam();
    const std::size_t size = c.hangUp ? 100000 : kFileSize;
    std::string path = folder_.WriteDataFile(size);
    if (c.file == File::kMissing) std::filesystem::remove(path);
    // Longer than the 32 bits a length travels in, without taking the disk.
    if (c.file == File::kTooLarge) {
        ASSERT_EQ(truncate(path.c_str(), 5LL << 30), 0);
    }

    UpdateRun run(Settings());
    NewsSink news;
    ASSERT_EQ(run.Open(Port(), path, news).end, OpenEnd::kOpened);

    // The device: its lines, the data request, then it takes what comes until the line is quiet
    // (or hangs up part way) and says its last line.
    auto device = std::async(std::launch::async, [&] {
        // A run stopped before the data request never gets one.
        peer_.Send(c.act == Act::kStopAfterBoot ? "QELP boot loader\r\n"
                                                : "QELP boot loader\r\nbootmode=DATAWAIT\n");
        const std::string received = peer_.Receive(c.hangUp ? 400 : size, 300);
        if (c.hangUp) {
            peer_.HangUp();
        } else if (*c.endLine != '\0') {
            peer_.Send(std::string(c.endLine) + "\n");
        }
        return received.size();
    });

    ActingSink sink([&](int block) {
        if (block != 3) return;
        if (c.act == Act::kCancelAtBlock3) sink.cancel = true;
        if (c.act == Act::kStopAtBlock3) run.Stop(c.stop, c.stopDetail);
        if (c.act == Act::kEndNowAtBlock3) {
            run.EndNow(c.stop, c.stopDetail);
            EXPECT_FALSE(RecordLine().empty()) << "not recorded before the upload returned";
        }
    });
    if (c.act == Act::kStopAfterBoot) run.Stop(c.stop, c.stopDetail);
    while (news.NextIsDataRequest()) run.Upload(sink);
    if (c.act == Act::kStopAfterEnd) run.Stop(c.stop, c.stopDetail);
    const std::size_t received = device.get();
    run.Close();
    const RunVerdict verdict = run.Verdict();
    run.Record(verdict);

    EXPECT_EQ(ExitStatus(OutcomeOfVerdict(verdict)), c.cliStatus);
    const std::string line = RecordLine();
    EXPECT_EQ(Field(line, "outcome"), c.outcome) << line;
    EXPECT_EQ(Field(line, "ended_by"), c.endedBy) << line;
    EXPECT_EQ(Field(line, "detail"), c.detail) << line;
    EXPECT_EQ(Field(line, "transfer"), c.transfer) << line;
    EXPECT_EQ(Field(line, "message"), c.message) << line;
    // What the record says went out is what the device got, whole blocks when cut short.
    if (std::string(c.transfer) != "hung-up") {
        EXPECT_EQ(Field(line, "bytes"), std::to_string(received)) << line;
    }
}

const RunCase kCases[] = {
    {.name = "Succeed",
     .endLine = "Versionup succeed",
     .outcome = "succeeded",
     .endedBy = "device",
     .detail = "Versionup succeed",
     .transfer = "complete",
     .message = "109",
     .cliStatus = 0},
    {.name = "ChecksumError",
     .endLine = "record end check sum error",
     .outcome = "succeeded",
     .endedBy = "device",
     .detail = "record end check sum error",
     .transfer = "complete",
     .message = "109",
     .cliStatus = 0},
    {.name = "Warning",
     .endLine = "Warning! application area",
     .outcome = "succeeded",
     .endedBy = "device",
     .detail = "Warning! application",
     .transfer = "complete",
     .message = "109",
     .cliStatus = 0},
    {.name = "RecordHeader",
     .endLine = "record header error",
     .outcome = "failed",
     .endedBy = "device",
     .detail = "record header",
     .transfer = "complete",
     .message = "108",
     .cliStatus = 1},
    {.name = "BootmodeError",
     .endLine = "bootmode=ERROR",
     .outcome = "failed",
     .endedBy = "device",
     .detail = "bootmode=ERROR",
     .transfer = "complete",
     .message = "108",
     .cliStatus = 1},
    {.name = "HangUp",
     .hangUp = true,
     .outcome = "failed",
     .endedBy = "hang-up",
     .detail = "null",
     .transfer = "hung-up",
     .message = "108",
     .cliStatus = 1},
    // Cancel stops the transfer; the device's word still decides.
    {.name = "CancelThenFailure",
     .endLine = "record header error",
     .act = Act::kCancelAtBlock3,
     .outcome = "failed",
     .endedBy = "device",
     .detail = "record header",
     .transfer = "cancelled",
     .message = "108",
     .cliStatus = 1},
    {.name = "Close",
     .act = Act::kStopAfterBoot,
     .stop = EndCause::kOperator,
     .outcome = "closed-by-operator",
     .endedBy = "operator",
     .detail = "null",
     .transfer = "none",
     .message = "null",
     .cliStatus = 1},
    {.name = "Signal",
     .act = Act::kStopAtBlock3,
     .stop = EndCause::kSignal,
     .stopDetail = "SIGTERM",
     .outcome = "closed-by-operator",
     .endedBy = "signal",
     .detail = "SIGTERM",
     .transfer = "cancelled",
     .message = "null",
     .cliStatus = 130},
    // Recorded from inside the upload; the upload's return and the later Record change nothing.
    {.name = "SessionEnd",
     .act = Act::kEndNowAtBlock3,
     .stop = EndCause::kSignal,
     .stopDetail = "WM_ENDSESSION",
     .outcome = "closed-by-operator",
     .endedBy = "signal",
     .detail = "WM_ENDSESSION",
     .transfer = "cancelled",
     .message = "null",
     .cliStatus = 130},
    {.name = "TimeOut",
     .act = Act::kStopAtBlock3,
     .stop = EndCause::kTimeout,
     .outcome = "closed-by-operator",
     .endedBy = "timeout",
     .detail = "null",
     .transfer = "cancelled",
     .message = "null",
     .cliStatus = 3},
    {.name = "WaitFailed",
     .act = Act::kStopAfterBoot,
     .stop = EndCause::kWaitFailed,
     .stopDetail = "poll: Bad file descriptor",
     .outcome = "failed",
     .endedBy = "wait-failed",
     .detail = "poll: Bad file descriptor",
     .transfer = "none",
     .message = "108",
     .cliStatus = 1},
    // The device's word after it got nothing is no success.
    {.name = "FileMissingAtTheRequest",
     .endLine = "Versionup succeed",
     .file = File::kMissing,
     .outcome = "failed",
     .endedBy = "file-problem",
     .detail = "cannot-open",
     .transfer = "none",
     .message = "108",
     .cliStatus = 1},
    {.name = "FileTooLargeThenSuccessWord",
     .endLine = "Versionup succeed",
     .file = File::kTooLarge,
     .outcome = "failed",
     .endedBy = "file-problem",
     .detail = "out-of-memory",
     .transfer = "none",
     .message = "108",
     .cliStatus = 1},
    // The device's success came first: a stop after it changes nothing.
    {.name = "SignalAfterSuccess",
     .endLine = "Versionup succeed",
     .act = Act::kStopAfterEnd,
     .stop = EndCause::kSignal,
     .stopDetail = "SIGTERM",
     .outcome = "succeeded",
     .endedBy = "device",
     .detail = "Versionup succeed",
     .transfer = "complete",
     .message = "109",
     .cliStatus = 0},
};

INSTANTIATE_TEST_SUITE_P(Endings, RunEndings, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

// The system gives no thread for the console reader: the port is given back at once and the run
// is recorded as failed with the port's message.
TEST_F(RunEndings, AReaderThatCannotStartEndsTheRunAsAnUnusablePort) {
    RunSettings settings = Settings();
    settings.startReader = [](std::function<unsigned()>) -> fw::WorkerThread {
        throw std::system_error(EAGAIN, std::generic_category(), "thread");
    };
    UpdateRun run(std::move(settings));
    NewsSink news;
    EXPECT_EQ(run.Open(Port(), folder_.WriteDataFile(10), news).end, OpenEnd::kReaderFailed);
    EXPECT_FALSE(run.PortOpen());
    EXPECT_EQ(ExitStatus(OutcomeOfVerdict(run.Verdict())), 2);
    const std::string line = RecordLine();
    EXPECT_EQ(Field(line, "ended_by"), "reader-failed") << line;
    EXPECT_EQ(Field(line, "message"), "107") << line;
}

}  // namespace

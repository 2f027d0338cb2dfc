// One update run over a real pseudo-terminal, its far end playing the device, driven as a program
// drives it: every way a run ends, and the outcome, the terminal program's exit status and the
// record line that each gives; and the runs in which the three witnesses of an update - what the
// program shows, what it records, the status it ends with - used to disagree. No windows.

#include "update/update_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/outcome.h"
#include "cli/terminal_output.h"
#include "res/resource.h"
#include "serial/pty_peer.h"
#include "support/record_field.h"
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

// The console sink of a program: keeps the news for the owning thread, and shows the lines on the
// terminal program's output when given one.
class NewsSink final : public ConsoleSink {
  public:
    explicit NewsSink(TerminalOutput* output = nullptr) : output_(output) {}
    bool ShowLine(std::string_view line) override {
        if (output_) output_->DeviceLine(line);
        Post(lines_);
        return true;
    }
    void DataRequested() override { Post(dataRequests_); }
    void RunEnded() override { Post(ended_); }

    // Waits until `count` lines were shown (or 10 s passed).
    bool WaitForLines(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return lines_ >= count; });
    }

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
    TerminalOutput* output_;
    int lines_ = 0;
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

class RunFixture : public ::testing::Test {
  protected:
    RunSettings Settings() {
        RunSettings settings;
        settings.program = "test";
        settings.recordDirectory = (folder_.Path() / "state").string();
        return settings;
    }
    std::vector<std::string> RecordLines() const {
        std::ifstream in(folder_.Path() / "state" / kRecordFileName);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    PortMapping Port() const { return {"COM1", peer_.SlavePath(), "test device"}; }

    test::WorkFolder folder_;
    PtyPeer peer_;
};

class RunEndings : public RunFixture, public ::testing::WithParamInterface<RunCase> {};

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
            EXPECT_EQ(RecordLines().size(), 1u) << "not recorded before the upload returned";
        }
    });
    if (c.act == Act::kStopAfterBoot) run.Stop(c.stop, c.stopDetail);
    while (news.NextIsDataRequest()) run.Upload(sink);
    if (c.act == Act::kStopAfterEnd) run.Stop(c.stop, c.stopDetail);
    const std::size_t received = device.get();
    run.Close();
    run.Record();

    EXPECT_EQ(ExitStatus(OutcomeOfVerdict(run.Conclude())), c.cliStatus);
    const std::vector<std::string> lines = RecordLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    EXPECT_EQ(test::RecordField(line, "outcome"), c.outcome) << line;
    EXPECT_EQ(test::RecordField(line, "ended_by"), c.endedBy) << line;
    EXPECT_EQ(test::RecordField(line, "detail"), c.detail) << line;
    EXPECT_EQ(test::RecordField(line, "transfer"), c.transfer) << line;
    EXPECT_EQ(test::RecordField(line, "message"), c.message) << line;
    // What the record says went out is what the device got, whole blocks when cut short.
    if (std::string(c.transfer) != "hung-up") {
        EXPECT_EQ(test::RecordField(line, "bytes"), std::to_string(received)) << line;
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
    EXPECT_EQ(ExitStatus(OutcomeOfVerdict(run.Conclude())), 2);
    const std::vector<std::string> lines = RecordLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    EXPECT_EQ(test::RecordField(line, "ended_by"), "reader-failed") << line;
    EXPECT_EQ(test::RecordField(line, "message"), "107") << line;
}

// --- One verdict: what the program shows, what it records, the status it ends with -------------

// Holds a thread back until it is opened, or for 10 s at most.
class Gate {
  public:
    bool Wait() {
        std::unique_lock lock(mutex_);
        return opened_.wait_for(lock, 10s, [&] { return open_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

enum class Fault {
    kFileProblemThenSuccess,  // the success word comes while the data file's problem is shown
    kStdoutStalledThenStop,   // standard output takes nothing; a stop comes amid the device's lines
    kFullDisk,                // the record's folder is a 48 KB file system; the device talks a lot
    kRecordHelperRefused,     // the system gives the record no helper thread
    kTimeOutSlowEnd,          // the time-out, with a reader and a record helper that come back late
};

// Where the outcome shows: the window program's box, or the terminal program's final line.
enum class Front { kWindow, kTerminal };

struct WitnessCase {
    const char* name;
    Fault fault;
    Front front;
    // Expected of all three witnesses:
    const char* shown;  // the box's number, or how the final line begins after "qelpupd-cli: "
    const char* outcome;
    const char* message;
    const char* endedBy;
    int status;
    // And besides: what standard error says, and what else the record line holds.
    const char* said;
    const char* recorded;
};

void PrintTo(const WitnessCase& c, std::ostream* out) {
    *out << c.name;
}

// The terminal program's streams: standard output takes everything, or is a pipe nobody reads;
// standard error is a pipe read back at the end.
class TerminalStreams {
  public:
    explicit TerminalStreams(bool stallOutput) : stalled_(stallOutput) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
        errRead_ = fds[0];
        err_ = fds[1];
        if (stallOutput) {
            if (pipe2(fds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
            outRead_ = fds[0];
            out_ = fds[1];
        } else {
            out_ = open("/dev/null", O_WRONLY | O_CLOEXEC);
        }
    }
    ~TerminalStreams() {
        // A stalled standard output stays open: the writer left on it may still be in its write.
        for (int fd : {outRead_, stalled_ ? -1 : out_, errRead_, err_})
            if (fd >= 0) close(fd);
    }
    int Out() const { return out_; }
    int Err() const { return err_; }
    // A writer blocked on standard output fails at once (SIGPIPE is ignored).
    void Unstall() {
        if (outRead_ >= 0) close(std::exchange(outRead_, -1));
    }
    // All standard error holds, once its writer is done.
    std::string Error() {
        fcntl(errRead_, F_SETFL, O_NONBLOCK);
        std::string text;
        char chunk[4096];
        for (ssize_t n; (n = read(errRead_, chunk, sizeof chunk)) > 0;)
            text.append(chunk, static_cast<std::size_t>(n));
        return text;
    }

  private:
    bool stalled_;
    int outRead_ = -1;
    int out_ = -1;
    int errRead_ = -1;
    int err_ = -1;
};

std::string NumberedLines(int count) {
    std::string lines;
    for (int i = 1; i <= count; ++i)
        lines += "trace " + std::to_string(i) + ": flash page verified, nothing to report\n";
    return lines;
}

class Witnesses : public RunFixture, public ::testing::WithParamInterface<WitnessCase> {};

TEST_P(Witnesses, ShowRecordAndEndWithOneVerdict) {
    const WitnessCase& c = GetParam();
    const std::string state = (folder_.Path() / "state").string();
    std::string why;
    if (c.fault == Fault::kFullDisk && !folder_.MountSmallDisk(state, 48 * 1024, why))
        GTEST_SKIP() << "a small file system cannot be mounted here (" << why
                     << "), and the full disk needs one";
    const std::string path = folder_.WriteDataFile(kFileSize);
    if (c.fault == Fault::kFileProblemThenSuccess) std::filesystem::remove(path);
    signal(SIGPIPE, SIG_IGN);
    TerminalStreams streams(c.fault == Fault::kStdoutStalledThenStop);
    std::optional<TerminalOutput> output;
    if (c.front == Front::kTerminal) output.emplace(false, streams.Out(), streams.Err());

    RunSettings settings = Settings();
    if (output) {
        settings.recordProblems = [&output](const std::string& line) {
            output->Problem(line + "\n");
        };
    }
    const auto late = std::make_shared<Gate>();
    if (c.fault == Fault::kRecordHelperRefused) {
        settings.startRecordHelper = [](std::function<void()>) -> std::thread {
            throw std::system_error(EAGAIN, std::generic_category(), "thread");
        };
    }
    if (c.fault == Fault::kTimeOutSlowEnd) {
        settings.startReader = [late](std::function<unsigned()> proc) {
            return RunSettings::StartReader([late, proc] {
                const unsigned result = proc();
                late->Wait();
                return result;
            });
        };
        settings.startRecordHelper = [late](std::function<void()> job) {
            return std::thread([late, job] {
                late->Wait();
                job();
            });
        };
    }
    UpdateRun run(std::move(settings));
    NewsSink news(output ? &*output : nullptr);

    // The window program shows its box as the run's end is handled, wherever that is.
    std::vector<int> boxes;
    bool endHandled = false;
    const auto handleEnd = [&] {
        if (std::exchange(endHandled, true) || c.front != Front::kWindow) return;
        boxes.push_back(run.Conclude().Succeeded() ? IDS_UPDATE_DONE : IDS_UPDATE_FAILED);
        run.Record();
    };

    const OpenResult opened = run.Open(Port(), path, news);
    if (c.fault == Fault::kRecordHelperRefused) {
        EXPECT_EQ(opened.end, OpenEnd::kRecordFailed);
        EXPECT_FALSE(run.PortOpen());
        handleEnd();
    } else {
        ASSERT_EQ(opened.end, OpenEnd::kOpened);
    }
    // The device, once the port is open.
    Gate fileBoxUp;
    auto device = std::async(std::launch::async, [&] {
        switch (c.fault) {
            case Fault::kFileProblemThenSuccess:
                peer_.Send("QELP boot loader\r\nbootmode=DATAWAIT\n");
                fileBoxUp.Wait();
                peer_.Send("Versionup succeed\n");
                break;
            case Fault::kStdoutStalledThenStop:
                peer_.Send("QELP boot loader\r\n" + NumberedLines(4000));
                break;
            case Fault::kFullDisk:
                peer_.Send("QELP boot loader\r\n" + NumberedLines(3000) + "bootmode=DATAWAIT\n");
                peer_.Receive(kFileSize, 300);
                peer_.Send("Versionup succeed\n");
                break;
            case Fault::kTimeOutSlowEnd:
                peer_.Send("QELP boot loader\r\nbootmode=DATAWAIT\n");
                peer_.Receive(kFileSize, 300);
                break;
            case Fault::kRecordHelperRefused:
                break;
        }
    });

    // The data file's box runs an event loop of its own, in which the device's end is handled.
    class BoxSink final : public UploadSink {
      public:
        explicit BoxSink(std::function<void()> shown) : shown_(std::move(shown)) {}
        void ReportFileProblem(DataFileStatus, const std::string&, int) override { shown_(); }
        TransferProgress* BeginTransfer(std::uint64_t) override { return nullptr; }
        void ReportWriteHeld(const OutputHold&) override {}
        void EndTransfer(const TransferResult&) override {}

      private:
        std::function<void()> shown_;
    } fileBox([&] {
        boxes.push_back(IDS_NO_DATA_FILE);
        fileBoxUp.Open();
        if (news.WaitForEnd()) handleEnd();
    });
    ActingSink sink([](int) {});
    switch (c.fault) {
        case Fault::kFileProblemThenSuccess:
            while (news.NextIsDataRequest()) run.Upload(fileBox);
            break;
        case Fault::kStdoutStalledThenStop:
            EXPECT_TRUE(news.WaitForLines(4001)) << "the reader waited for standard output";
            run.Stop(EndCause::kSignal, "SIGTERM");
            break;
        case Fault::kFullDisk:
            while (news.NextIsDataRequest()) run.Upload(sink);
            break;
        case Fault::kTimeOutSlowEnd:
            if (news.NextIsDataRequest()) run.Upload(sink);
            run.Stop(EndCause::kTimeout);
            break;
        case Fault::kRecordHelperRefused:
            break;
    }
    if (c.fault != Fault::kRecordHelperRefused && news.WaitForEnd()) handleEnd();

    // The program's end, which no thread and no stream may hold up for long.
    Gate ended;
    std::thread watchdog([&] {
        if (!ended.Wait()) streams.Unstall();
    });
    const auto stopped = std::chrono::steady_clock::now();
    run.Close();
    run.Record();
    const RunVerdict& verdict = run.Conclude();
    int status = verdict.Succeeded() ? 0 : 1;
    if (output) {
        output->Final(OutcomeLine(OutcomeOfVerdict(verdict), {"COM1", verdict.reason}));
        status = ExitStatus(OutcomeOfVerdict(verdict));
    }
    const auto took = std::chrono::steady_clock::now() - stopped;
    ended.Open();
    watchdog.join();
    streams.Unstall();
    late->Open();
    if (device.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "the device still sends";
        peer_.HangUp();
    }

    EXPECT_LT(took, 4s) << "the run's end waited";
    if (c.front == Front::kWindow) {
        const std::vector<int> shown = {std::atoi(c.shown)};
        std::vector<int> outcomeBoxes = boxes;
        std::erase(outcomeBoxes, IDS_NO_DATA_FILE);
        EXPECT_EQ(outcomeBoxes, shown);
    } else {
        const std::string error = streams.Error();
        std::string last = error.substr(0, error.size() - 1);
        last = last.substr(last.rfind('\n') + 1);
        EXPECT_EQ(last.rfind(std::string("qelpupd-cli: ") + c.shown, 0), 0u) << error;
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
    }
    const std::vector<std::string> lines = RecordLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    EXPECT_EQ(test::RecordField(line, "outcome"), c.outcome) << line;
    EXPECT_EQ(test::RecordField(line, "message"), c.message) << line;
    EXPECT_EQ(test::RecordField(line, "ended_by"), c.endedBy) << line;
    EXPECT_NE(line.find(c.recorded), std::string::npos) << line;
    EXPECT_EQ(status, c.status);
    if (c.fault == Fault::kFullDisk) {
        // The console file holds whole lines, as many as the record says.
        std::ifstream console(test::RecordField(line, "console_log"));
        const std::string text(std::istreambuf_iterator<char>(console), {});
        EXPECT_EQ(std::to_string(std::count(text.begin(), text.end(), '\n')),
                  test::RecordField(line, "console_log_lines"));
        EXPECT_TRUE(text.empty() || text.back() == '\n');
    }
}

const WitnessCase kWitnessCases[] = {
    {"FileProblemThenSuccessWord", Fault::kFileProblemThenSuccess, Front::kWindow, "108", "failed",
     "108", "file-problem", 1, "", R"("detail":"cannot-open")"},
    {"StdoutStalledThenSigterm", Fault::kStdoutStalledThenStop, Front::kTerminal,
     "interrupted, update not finished", "closed-by-operator", "null", "signal", 130,
     "device lines were not written to standard output", R"("console_lines":4001,)"},
    {"FullDisk", Fault::kFullDisk, Front::kTerminal, "update succeeded", "succeeded", "109",
     "device", 0, "; the update record is written", R"("console_log_complete":false)"},
    {"RecordHelperRefused", Fault::kRecordHelperRefused, Front::kWindow, "108", "failed", "108",
     "record-failed", 1, "", R"("detail":"Resource temporarily unavailable")"},
    {"RecordHelperRefusedAtTheTerminal", Fault::kRecordHelperRefused, Front::kTerminal,
     "update failed: the update record's helper thread could not start", "failed", "108",
     "record-failed", 1, "", R"("transfer":"none")"},
    {"TimeOutWithSlowReaderAndRecord", Fault::kTimeOutSlowEnd, Front::kTerminal,
     "timed out, update not finished", "closed-by-operator", "null", "timeout", 3,
     "the console reader did not stop",
     R"("record_problem":"hashing the data file did not finish within 1000 ms")"},
};

INSTANTIATE_TEST_SUITE_P(Faults, Witnesses, ::testing::ValuesIn(kWitnessCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace

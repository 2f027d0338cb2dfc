// The real qelpupd-cli against the device simulator on pseudo-terminals: every way a run ends, as a
// script sees it (standard output, the last line of standard error, the exit status), and what the
// device received.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_device.h"
#include "cli/outcome.h"
#include "support/work_folder.h"
#include "tools/cli_process.h"
#include "update/sha256.h"

namespace cli_test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kFileSize = 3001;  // 15 whole blocks and a remainder of 1

std::string LastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
    const auto start = trimmed.rfind('\n');
    return (start == std::string::npos ? trimmed : trimmed.substr(start + 1)) + "\n";
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliRun : public testing::Test {
  protected:
    // Each run's update record goes into the work folder, not the user's own.
    void SetUp() override { setenv("XDG_STATE_HOME", (folder_.Path() / "state").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_STATE_HOME"); }

    std::string RecordText() const {
        std::ifstream in(folder_.Path() / "state" / "qelpupd" / "updates.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The lines in the run's console file so far (one run only).
    long ConsoleFileLines() const {
        std::error_code ignored;
        for (const auto& entry :
             std::filesystem::directory_iterator(folder_.Path() / "state" / "qelpupd", ignored)) {
            if (!entry.path().filename().string().starts_with("console-")) continue;
            std::ifstream in(entry.path());
            const std::string text(std::istreambuf_iterator<char>(in), {});
            return std::count(text.begin(), text.end(), '\n');
        }
        return 0;
    }

    test::WorkFolder folder_;
};

// --- Every end keyword, and the lines as the log shows them --------------------------------------

const std::string kBootLines =
    "QELP boot loader v2.04 (2003/11/20)\nCopyright (C) QELP Corporation\nRAM check ... OK\n"
    "Flash ROM 2048KB ... OK\nWaiting for update data\nbootmode=DATAWAIT\n";

struct EndCase {
    std::string scenario;
    std::string deviceLines;  // standard output, whole
    RunOutcome outcome;
};

class EndKeywords : public CliRun, public testing::WithParamInterface<EndCase> {};

TEST_P(EndKeywords, PrintTheDeviceLinesAndEndWithTheDevicesWord) {
    const EndCase& c = GetParam();
    const std::string data = folder_.WriteDataFile(kFileSize);
    CliDevice device({"--scenario", c.scenario, "--data", data});
    CliProcess cli({"--port", device.Path()});
    const CliProcess::Ended ended = cli.Finish();

    EXPECT_EQ(ended.status, ExitStatus(c.outcome)) << ended.err;
    EXPECT_EQ(ended.out, c.deviceLines);
    EXPECT_EQ(LastLine(ended.err), OutcomeLine(c.outcome, {device.Path(), ""}));
    const DeviceEnd end = device.Finish();
    EXPECT_EQ(end.exitCode, 0) << end.transcript;  // every byte arrived as in the file
    EXPECT_TRUE(Contains(end.transcript, "result: match")) << end.transcript;
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, EndKeywords,
    testing::Values(
        EndCase{"success", kBootLines + "Versionup succeed\n", RunOutcome::kSucceeded},
        EndCase{"checksum-error", kBootLines + "record end check sum error\n",
                RunOutcome::kSucceeded},
        EndCase{"warning", kBootLines + "Warning! application area is older than the boot loader\n",
                RunOutcome::kSucceeded},
        EndCase{"record-header", kBootLines + "record header error (record 1)\n",
                RunOutcome::kFailed},
        EndCase{"bootmode-error", kBootLines + "bootmode=ERROR\n", RunOutcome::kFailed},
        // The device asks again after the first transfer: the whole file goes out once more.
        EndCase{"twice", kBootLines + "bootmode=DATAWAIT\nVersionup succeed\n",
                RunOutcome::kSucceeded},
        // NUL, bytes from 0x80 and CR are dropped from the lines, as the log drops them.
        EndCase{"noise",
                "QELP boot loader v2.04 (2003/11/20)\nCopyright (C) QELP Corporation\n"
                "RAM check ... OK\n\nFlash ROM 2048KB ... OK\nbootmode=DATAWAIT\n"
                "Versionup succeed\n",
                RunOutcome::kSucceeded}),
    [](const testing::TestParamInfo<EndCase>& param) {
        std::string name = param.param.scenario;
        std::erase(name, '-');
        return name;
    });

TEST_F(CliRun, QuietLeavesTheDeviceLinesAndTheFinalLineOnly) {
    const std::string data = folder_.WriteDataFile(kFileSize);
    CliDevice device({"--data", data});
    CliProcess cli({"--quiet", "--port", device.Path()});
    const CliProcess::Ended ended = cli.Finish();
    EXPECT_EQ(ended.status, 0);
    EXPECT_EQ(ended.out, kBootLines + "Versionup succeed\n");
    EXPECT_EQ(ended.err, OutcomeLine(RunOutcome::kSucceeded, {device.Path(), ""}));
    EXPECT_EQ(device.Finish().exitCode, 0);
}

TEST_F(CliRun, RunsThatOpenedThePortLeaveTheWindowProgramsRecord) {
    const std::string data = folder_.WriteDataFile(kFileSize);
    {
        CliDevice device({"--data", data});
        CliProcess cli({"--quiet", "--port", device.Path()});
        EXPECT_EQ(cli.Finish().status, 0);
        device.Finish();
    }
    {
        CliDevice device({"--data", data, "--scenario", "record-header"});
        CliProcess cli({"--quiet", "--port", device.Path()});
        EXPECT_EQ(cli.Finish().status, 1);
        device.Finish();
    }
    CliProcess cli({"--quiet", "--port", "/dev/qelp-no-such-port"});
    EXPECT_EQ(cli.Finish().status, 2);  // never opened: not recorded
    const std::string record = RecordText();
    EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 2) << record;
    EXPECT_TRUE(Contains(record, "qelpupd-cli")) << record;
    EXPECT_TRUE(Contains(record, "\"succeeded\"")) << record;
    EXPECT_TRUE(Contains(record, "\"failed\"")) << record;
}

TEST_F(CliRun, ProgressToAFileIsALineAtEveryTenPercent) {
    const std::string data = folder_.WriteDataFile(10000);  // 50 blocks
    CliDevice device({"--data", data});
    CliProcess cli({"--port", device.Path()});
    const CliProcess::Ended ended = cli.Finish();
    EXPECT_EQ(ended.status, 0);
    for (const char* step :
         {" 10%  1000/10000 bytes", " 50%  5000/10000 bytes", "100%  10000/10000 bytes"}) {
        EXPECT_TRUE(Contains(ended.err, step)) << step << " in\n" << ended.err;
    }
    EXPECT_EQ(std::count(ended.err.begin(), ended.err.end(), '\n'), 11) << ended.err;
    EXPECT_EQ(ended.err.find('\r'), std::string::npos);  // no terminal redraws in a file
    EXPECT_EQ(device.Finish().exitCode, 0);
}

TEST_F(CliRun, ComNamesAreMappedAsTheWindowProgramMapsThem) {
    const std::string data = folder_.WriteDataFile(kFileSize);
    CliDevice device({"--data", data});
    CliProcess cli({"--port", "COM2", "--quiet"}, {{"QELPUPD_COM2", device.Path()}});
    const CliProcess::Ended ended = cli.Finish();
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(ended.err, OutcomeLine(RunOutcome::kSucceeded, {"COM2", ""}));
    EXPECT_EQ(device.Finish().exitCode, 0);
}

TEST_F(CliRun, OfSeveralDataFilesTheFirstByNameGoesAndTheOthersAreNamed) {
    const std::string data = folder_.WriteDataFile(kFileSize);
    // An older file beside it, later by name: it must not go out.
    std::ofstream(folder_.Path() / "7118K0200.UPF", std::ios::binary) << "older data";
    CliDevice device({"--data", data});
    CliProcess cli({"--port", device.Path()});
    const CliProcess::Ended ended = cli.Finish();
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_TRUE(Contains(ended.err, "taken; 1 other matching file passed over")) << ended.err;
    EXPECT_EQ(device.Finish().exitCode, 0);
}

// The data file replaced after the port opened (the right firmware copied in late): the record
// names what went out, the new file, not what lay there when the run began.
TEST_F(CliRun, TheRecordNamesTheBytesSentNotTheFileAsItWas) {
    const std::string data = folder_.WriteDataFile(kFileSize);
    const std::string replacement(4321, 'n');
    const std::string newFile = (folder_.Path() / "new.bin").string();
    std::ofstream(newFile, std::ios::binary) << replacement;
    CliDevice device({"--data", newFile, "--boot-delay-ms", "300"});
    CliProcess cli({"--quiet", "--port", device.Path()});
    ASSERT_TRUE(device.WaitForLine("note: port opened"));
    std::filesystem::rename(newFile, data);
    EXPECT_EQ(cli.Finish().status, 0);
    EXPECT_EQ(device.Finish().exitCode, 0);
    const std::string record = RecordText();
    Sha256 hash;
    hash.Update(replacement.data(), replacement.size());
    EXPECT_TRUE(Contains(record, "\"length\":4321,\"sha256\":\"" + Sha256::Hex(hash.Finish())))
        << record;
}

// --- Runs that cannot start ----------------------------------------------------------------------

TEST_F(CliRun, WithoutADataFileNothingStarts) {
    CliDevice device({"--scenario", "silent", "--wait-open-ms", "2000"});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--port", device.Path()},
          std::vector<std::string>{"--port", device.Path(), "--data", "missing.UPF"},
          std::vector<std::string>{"--port", device.Path(), "--data", "."}}) {
        CliProcess cli(args);
        const CliProcess::Ended ended = cli.Finish();
        EXPECT_EQ(ended.status, 2) << args.back();
        EXPECT_TRUE(Contains(ended.err, "no update data file")) << ended.err;
        EXPECT_TRUE(Contains(ended.err, "アップデート データファイルが存在しません。"))
            << ended.err;
        EXPECT_EQ(ended.out, "");
    }
    // The port was never opened.
    const DeviceEnd end = device.Finish();
    EXPECT_TRUE(Contains(end.transcript, "the port was not opened")) << end.transcript;
}

TEST_F(CliRun, APortThatIsMissingOrHeldGivesThePortMessage) {
    folder_.WriteDataFile(kFileSize);
    CliDevice device({"--scenario", "silent", "--wait-open-ms", "3000"});
    const int holder = open(device.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);  // another program holds the port

    struct PortCase {
        std::vector<std::string> args;
        CliProcess::Environment environment;
        std::string port;  // as the message names it
    };
    const std::vector<PortCase> cases = {
        {{"--port", device.Path()}, {}, device.Path()},
        {{"--port", "/dev/qelp-no-such-port"}, {}, "/dev/qelp-no-such-port"},
        {{}, {{"QELPUPD_COM1", "/dev/qelp-no-such-port"}}, "COM1"},
    };
    for (const PortCase& c : cases) {
        CliProcess cli(c.args, c.environment);
        const CliProcess::Ended ended = cli.Finish();
        EXPECT_EQ(ended.status, 2) << c.port;
        EXPECT_TRUE(Contains(ended.err, c.port + " cannot be used")) << ended.err;
        EXPECT_TRUE(Contains(ended.err, c.port + "は使用できません。")) << ended.err;
    }
    close(holder);
}

TEST_F(CliRun, ABadCommandLineSaysWhyAndStartsNothing) {
    CliProcess cli({"--timeout", "soon"});
    const CliProcess::Ended ended = cli.Finish();
    EXPECT_EQ(ended.status, 2);
    EXPECT_EQ(ended.err,
              "qelpupd-cli: bad command line: --timeout expects a number of seconds, not "
              "\"soon\". Try qelpupd-cli --help.\n");
}

// --- Runs that end early -------------------------------------------------------------------------

TEST_F(CliRun, CtrlCStopsAfterWholeBlocksClosesThePortAndEndsWith130) {
    const std::size_t size = 20000;  // about 10 s at the line's pace
    const std::string data = folder_.WriteDataFile(size);
    CliDevice device({"--data", data, "--pace"});
    CliProcess cli({"--port", device.Path()});
    ASSERT_TRUE(device.WaitForLine("host> receiving"));  // the transfer is under way
    cli.Signal(SIGINT);
    const CliProcess::Ended ended = cli.Finish(20s);

    ASSERT_EQ(ended.status, 130) << ended.err;
    const std::string last = LastLine(ended.err);
    EXPECT_TRUE(Contains(last, "interrupted, update not finished")) << last;
    const auto sent = NumberAfter(last, "stopped after ");
    ASSERT_TRUE(sent) << last;
    EXPECT_EQ(*sent % 200, 0) << "only whole blocks go out";
    EXPECT_GT(*sent, 0);
    EXPECT_LT(*sent, static_cast<long>(size));

    // The port is closed: the device ends by itself. It got exactly what was sent, the file's
    // first bytes, unchanged, and the record counts the same.
    const DeviceEnd end = device.Finish();
    ASSERT_NE(end.exitCode, -1) << "the port stayed open";
    EXPECT_TRUE(Contains(end.transcript, "then the tool closed the port")) << end.transcript;
    const auto received = NumberAfter(end.transcript, "host> received ");
    ASSERT_TRUE(received) << end.transcript;
    EXPECT_EQ(*received, *sent);
    EXPECT_EQ(NumberAfter(end.transcript, "mismatch at byte "), received) << end.transcript;
    const std::string record = RecordText();
    EXPECT_EQ(NumberAfter(record, "\"sent\":{\"bytes\":"), sent) << record;
    EXPECT_TRUE(Contains(record, R"("ended_by":"signal","detail":"SIGINT")")) << record;
}

TEST_F(CliRun, ASecondStopEndsAtOnceAndStillClosesThePort) {
    const std::string data = folder_.WriteDataFile(100000);
    // The device stops reading, so that blocks wait for room on the line.
    CliDevice device({"--data", data, "--scenario", "stall", "--stall-after", "1000"});
    CliProcess cli({"--port", device.Path()});
    ASSERT_TRUE(device.WaitForLine("note: stopped reading"));
    // The terminal takes about 17 KB more before a block waits for room; only a block that waits
    // keeps the first stop from ending the run before the second comes.
    ASSERT_TRUE(cli.WaitUntilWritingStops(10000, 300ms, 10s)) << "no block waits for room";
    // Two different signals, so that both are delivered even if they arrive together: the second
    // comes while the first is still being obeyed.
    cli.Signal(SIGINT);
    cli.Signal(SIGTERM);
    const CliProcess::Ended ended = cli.Finish(5s);
    EXPECT_EQ(ended.status, 130) << ended.err;
    EXPECT_EQ(LastLine(ended.err),
              OutcomeLine(RunOutcome::kInterrupted, {device.Path(), "ended at once"}));
    // The device sees its port closed, as the process's end closed it.
    const DeviceEnd end = device.Finish();
    EXPECT_NE(end.exitCode, -1) << "the port stayed open";
    EXPECT_TRUE(Contains(end.transcript, "closed the port")) << end.transcript;
}

TEST_F(CliRun, SigtermStopsLikeCtrlC) {
    folder_.WriteDataFile(kFileSize);
    CliDevice device({"--scenario", "silent"});
    CliProcess cli({"--port", device.Path()});
    ASSERT_TRUE(device.WaitForLine("device> Waiting for update data"));
    cli.Signal(SIGTERM);
    const CliProcess::Ended ended = cli.Finish(10s);
    EXPECT_EQ(ended.status, 130);
    EXPECT_TRUE(Contains(LastLine(ended.err), "interrupted")) << ended.err;
    EXPECT_NE(device.Finish().exitCode, -1) << "the port stayed open";
}

TEST_F(CliRun, TheTimeOutEndsARunThatDoesNotFinish) {
    // A device that never asks, and one whose line stops taking data: by the time-out the terminal
    // is full and a block waits for room. It is given up, so that the run still closes the port
    // and is recorded.
    for (const std::vector<std::string>& scenario :
         {std::vector<std::string>{"--scenario", "silent"},
          std::vector<std::string>{"--scenario", "stall", "--stall-after", "1000"}}) {
        const std::string data = folder_.WriteDataFile(100000);
        std::vector<std::string> args = scenario;
        args.insert(args.end(), {"--data", data});
        CliDevice device(args);
        CliProcess cli({"--timeout", "2", "--port", device.Path()});
        // Well within the port's 10 s write time-out.
        const CliProcess::Ended ended = cli.Finish(9s);
        EXPECT_EQ(ended.status, 3) << scenario[1] << ": " << ended.err;
        EXPECT_TRUE(Contains(LastLine(ended.err), "timed out, update not finished")) << ended.err;
        EXPECT_NE(device.Finish().exitCode, -1) << scenario[1] << ": the port stayed open";
    }
    const std::string record = RecordText();
    EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 2) << record;
    const std::string timedOut = R"("ended_by":"timeout")";
    EXPECT_NE(record.find(timedOut), record.rfind(timedOut)) << record;
}

// Standard output is a pipe nobody reads (a pager left open, a consumer that hung) while the device
// goes on talking: SIGTERM still ends the run within seconds, closes the port and records it, and
// standard error says how many device lines standard output did not take.
TEST_F(CliRun, SigtermWithStandardOutputStalledEndsWithinSecondsWithItsRecord) {
    folder_.WriteDataFile(kFileSize);
    CliDevice device({"--scenario", "silent", "--extra-lines", "5000"});
    CliProcess cli({"--port", device.Path()}, {}, CliProcess::Output::kStalled);
    ASSERT_TRUE(device.WaitForLine("note: printed 5000 extra lines"));
    // Every line the device printed has been through the console reader by then: nothing of it
    // waits for standard output.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (ConsoleFileLines() < 5005 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ConsoleFileLines(), 5005) << "the console reader waited for standard output";
    const auto signalled = std::chrono::steady_clock::now();
    cli.Signal(SIGTERM);
    const CliProcess::Ended ended = cli.Finish(20s);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 5s);

    EXPECT_EQ(ended.status, 130) << ended.err;
    EXPECT_TRUE(Contains(LastLine(ended.err), "interrupted, update not finished")) << ended.err;
    EXPECT_TRUE(Contains(ended.err, "device lines were not written to standard output"))
        << ended.err;
    const std::string record = RecordText();
    EXPECT_TRUE(Contains(record, R"("ended_by":"signal","detail":"SIGTERM")")) << record;
    EXPECT_TRUE(Contains(record, R"("console_lines":5005,)")) << record;
    EXPECT_NE(device.Finish().exitCode, -1) << "the port stayed open";
}

// The record's folder on a file system of 48 KB, and a device that prints 3,000 lines: the console
// log gives way, and the record line is there, says that its log is incomplete and how many lines
// the file holds; standard error says which of the two was not written whole.
TEST_F(CliRun, OnAFullDiskTheRecordLineHasPriorityOverTheConsoleLog) {
    std::string why;
    if (!folder_.MountSmallDisk(folder_.Path() / "state", 48 * 1024, why))
        GTEST_SKIP() << "a small file system cannot be mounted here (" << why
                     << "), and the full disk needs one";
    const std::string data = folder_.WriteDataFile(kFileSize);
    CliDevice device({"--data", data, "--extra-lines", "3000"});
    CliProcess cli({"--port", device.Path()});
    const CliProcess::Ended ended = cli.Finish(30s);
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(LastLine(ended.err), OutcomeLine(RunOutcome::kSucceeded, {device.Path(), ""}));
    EXPECT_TRUE(Contains(ended.err, "is incomplete")) << ended.err;
    EXPECT_TRUE(Contains(ended.err, "; the update record is written")) << ended.err;
    EXPECT_FALSE(Contains(ended.err, "the update record is not written")) << ended.err;

    const std::string record = RecordText();
    EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 1) << record;
    EXPECT_TRUE(Contains(record, R"("outcome":"succeeded","message":109)")) << record;
    EXPECT_TRUE(Contains(record, R"("console_lines":3007,)")) << record;
    EXPECT_TRUE(Contains(record, R"("console_log_complete":false)")) << record;
    EXPECT_EQ(NumberAfter(record, R"("console_log_lines":)"), ConsoleFileLines()) << record;
    EXPECT_LT(ConsoleFileLines(), 3007);
    EXPECT_EQ(device.Finish().exitCode, 0);
}

// A device that ends the run right after asking (here for an empty file): the request came first
// and is answered, as the window program answers it, so the success rests on an answered request.
TEST_F(CliRun, ARequestThatCameWithTheEndIsAnswered) {
    const std::string data = folder_.WriteDataFile(0);
    CliDevice device({"--data", data, "--boot-delay-ms", "0"});
    CliProcess cli({"--quiet", "--port", device.Path()});
    EXPECT_EQ(cli.Finish().status, 0);
    EXPECT_EQ(device.Finish().exitCode, 0);
    const std::string record = RecordText();
    EXPECT_TRUE(Contains(record, R"("transfer":"complete","uploads":1,"outcome":"succeeded")"))
        << record;
}

TEST_F(CliRun, AHangUpEndsTheRunAsFailed) {
    const std::string data = folder_.WriteDataFile(20000);
    CliDevice device({"--data", data, "--scenario", "hangup", "--hangup-after", "3000"});
    CliProcess cli({"--port", device.Path()});
    const CliProcess::Ended ended = cli.Finish(20s);
    EXPECT_EQ(ended.status, 1) << ended.err;
    EXPECT_EQ(LastLine(ended.err),
              OutcomeLine(RunOutcome::kFailed, {device.Path(), "the device went away"}));
    EXPECT_EQ(LastLine(ended.out), "bootmode=DATAWAIT\n");
    device.Finish();
}

// --- Side by side ------------------------------------------------------------------------------

TEST_F(CliRun, FourProgramsOnFourPortsWithOneDataFileAllSucceed) {
    const std::string data = folder_.WriteDataFile(6001);  // about 3 s each at the line's pace
    std::vector<std::unique_ptr<CliDevice>> devices;
    std::vector<std::unique_ptr<CliProcess>> runs;
    for (int i = 0; i < 4; ++i) {
        devices.push_back(std::make_unique<CliDevice>(
            std::vector<std::string>{"--data", data, "--pace", "--boot-delay-ms", "20"}));
    }
    for (const auto& device : devices) {
        runs.push_back(std::make_unique<CliProcess>(
            std::vector<std::string>{"--quiet", "--port", device->Path()}));
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const CliProcess::Ended ended = runs[i]->Finish(30s);
        EXPECT_EQ(ended.status, 0) << i << ": " << ended.err;
        EXPECT_EQ(LastLine(ended.out), "Versionup succeed\n") << i;
        const DeviceEnd end = devices[i]->Finish();
        EXPECT_EQ(end.exitCode, 0) << i << ": " << end.transcript;
        EXPECT_TRUE(Contains(end.transcript, "result: match")) << i << ": " << end.transcript;
    }
}

}  // namespace
}  // namespace cli_test

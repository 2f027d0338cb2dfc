// Runs the real simulator against its pty, opened and set up as the update tool does it.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/host_port.h"
#include "tools/simulator_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Every byte value (XON/XOFF, CR, LF and the terminal's control characters among them), and a
// length that leaves a 1-byte remainder after the 200-byte blocks.
std::vector<std::uint8_t> sampleData(std::size_t size = 1001) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return data;
}

class SimulatorRun : public ::testing::Test {
  protected:
    void TearDown() override { fs::remove_all(dir_); }

    std::string dataFile(const std::vector<std::uint8_t>& data) {
        const fs::path path = dir_ / "7118K0100.UPF";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
        return path.string();
    }

    // Starts the simulator and opens its port as the tool would.
    void start(std::vector<std::string> args) {
        args.insert(args.end(), {"--boot-delay-ms", "0", "--linger-ms", "20000"});
        sim_ = std::make_unique<SimulatorProcess>(args);
        const auto path = sim_->readLine();
        ASSERT_TRUE(path.has_value());
        port_ = std::make_unique<HostPort>(*path);
    }

    // Console lines, as the console shows them, up to the first that contains `keyword`.
    std::vector<std::string> linesUntil(const std::string& keyword) {
        std::vector<std::string> lines;
        while (const auto raw = port_->readRawLine()) {
            rawBytes_ += *raw;
            lines.push_back(asConsoleShowsIt(*raw));
            if (lines.back().find(keyword) != std::string::npos) return lines;
        }
        ADD_FAILURE() << "no line with \"" << keyword << "\"";
        return lines;
    }

    int closeAndWait() {
        port_->close();
        return sim_->waitForExit();
    }

    bool transcriptHas(const std::string& text) const {
        return sim_->restOfTranscript().find(text) != std::string::npos;
    }

    fs::path dir_ = [] {
        std::string pattern = (fs::temp_directory_path() / "qelp-sim-XXXXXX").string();
        return fs::path(mkdtemp(pattern.data()));
    }();
    std::unique_ptr<SimulatorProcess> sim_;
    std::unique_ptr<HostPort> port_;
    std::string rawBytes_;
};

TEST_F(SimulatorRun, WholeFileInBlocksMatches) {
    const auto data = sampleData();
    start({"--data", dataFile(data)});
    const auto boot = linesUntil("bootmode=DATAWAIT");
    EXPECT_GE(boot.size(), 3u);
    EXPECT_NE(boot.front().find("QELP boot loader"), std::string::npos);
    EXPECT_NE(rawBytes_.find("\r\n"), std::string::npos) << "some boot lines end in CRLF";

    ASSERT_EQ(port_->writeInBlocks(data), data.size());
    linesUntil("Versionup succeed");
    EXPECT_EQ(closeAndWait(), 0);
    EXPECT_TRUE(transcriptHas("device> bootmode=DATAWAIT\n"));
    EXPECT_TRUE(transcriptHas("host> received 1001 bytes"));
    EXPECT_TRUE(transcriptHas("\nresult: match\n"));
}

TEST_F(SimulatorRun, CorruptedByteIsReportedWithItsPosition) {
    auto data = sampleData();
    start({"--data", dataFile(data)});
    linesUntil("bootmode=DATAWAIT");
    data[777] ^= 0x40;
    port_->writeInBlocks(data);
    linesUntil("Versionup succeed");
    EXPECT_EQ(closeAndWait(), 1);
    EXPECT_TRUE(transcriptHas("result: mismatch at byte 777\n"));
}

struct EndLineCase {
    const char* scenario;
    int dataRequests;
    const char* endKeyword;
};

class SimulatorEndLine : public SimulatorRun, public ::testing::WithParamInterface<EndLineCase> {};

TEST_P(SimulatorEndLine, AnswersTheDataWithTheScenariosEndLine) {
    const auto data = sampleData();
    start({"--scenario", GetParam().scenario, "--data", dataFile(data), "--idle-ms", "300"});
    for (int i = 0; i < GetParam().dataRequests; ++i) {
        linesUntil("bootmode=DATAWAIT");
        ASSERT_EQ(port_->writeInBlocks(data), data.size());
    }
    for (const std::string& line : linesUntil(GetParam().endKeyword)) {
        EXPECT_EQ(line.find("bootmode=DATAWAIT"), std::string::npos) << "asked once too often";
    }
    EXPECT_EQ(closeAndWait(), 0);
    EXPECT_TRUE(transcriptHas("result: match\n"));
    if (std::string(GetParam().scenario) == "noise") {
        // The keywords only appear once the bytes the console drops are gone.
        EXPECT_EQ(rawBytes_.find("bootmode=DATAWAIT"), std::string::npos);
        EXPECT_NE(rawBytes_.find('\0'), std::string::npos);
        EXPECT_NE(rawBytes_.find('\xE9'), std::string::npos);
        EXPECT_NE(rawBytes_.find("\r "), std::string::npos) << "a CR inside a line";
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SimulatorEndLine,
                         ::testing::Values(EndLineCase{"record-header", 1, "record header"},
                                           EndLineCase{"bootmode-error", 1, "bootmode=ERROR"},
                                           EndLineCase{"checksum-error", 1,
                                                       "record end check sum error"},
                                           EndLineCase{"warning", 1, "Warning! application"},
                                           EndLineCase{"noise", 1, "Versionup succeed"},
                                           EndLineCase{"twice", 2, "Versionup succeed"}),
                         [](const auto& param) {
                             std::string name = param.param.scenario;
                             std::erase(name, '-');
                             return name;
                         });

TEST_F(SimulatorRun, WithoutDataFileCountsAndHashes) {
    start({"--idle-ms", "200"});
    linesUntil("bootmode=DATAWAIT");
    port_->writeInBlocks({'f', 'o', 'o', 'b', 'a', 'r'});
    linesUntil("Versionup succeed");
    EXPECT_EQ(closeAndWait(), 0);
    // The published FNV-1a 64 test vector for "foobar".
    EXPECT_TRUE(transcriptHas("result: received 6 bytes, fnv1a64 85944171f73967e8\n"));
}

TEST_F(SimulatorRun, HangupScenarioLeavesTheToolWithAHangUp) {
    const auto data = sampleData();
    start({"--scenario", "hangup", "--data", dataFile(data), "--hangup-after", "500"});
    linesUntil("bootmode=DATAWAIT");
    port_->writeInBlocks(data);
    EXPECT_TRUE(port_->waitForHangUp());
    EXPECT_EQ(sim_->waitForExit(), 0);
    EXPECT_TRUE(transcriptHas("result: match (first 500 bytes)\n"));
}

TEST_F(SimulatorRun, StallScenarioStopsTheToolsWritesFromDraining) {
    const auto data = sampleData(64 * 1024);
    start({"--scenario", "stall", "--data", dataFile(data), "--stall-after", "1000"});
    linesUntil("bootmode=DATAWAIT");
    const std::size_t accepted = port_->writeInBlocks(data, 1s);
    EXPECT_GE(accepted, 1000u);
    EXPECT_LT(accepted, data.size());
    EXPECT_EQ(closeAndWait(), 0);
    EXPECT_TRUE(transcriptHas("stopped reading after 1000 bytes"));
}

TEST_F(SimulatorRun, SymlinkFollowsTheRunAndGoesOnSigterm) {
    const fs::path link = dir_ / "port";
    sim_ = std::make_unique<SimulatorProcess>(std::vector<std::string>{"--link", link.string()});
    const auto path = sim_->readLine();
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(fs::read_symlink(link), fs::path(*path));
    sim_->signal(SIGTERM);
    EXPECT_EQ(sim_->waitForExit(), 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

// The data request waits for the file a test creates once it has done what must come first.
TEST_F(SimulatorRun, HoldsTheDataRequestUntilItsFileExists) {
    const auto data = sampleData();
    const fs::path go = dir_ / "go";
    start({"--data", dataFile(data), "--hold-data-request", go.string()});
    std::optional<std::string> line;
    do line = sim_->readLine();
    while (line &&
           line->find("holding the data request until " + go.string()) == std::string::npos);
    ASSERT_TRUE(line.has_value());
    std::ofstream{go};
    linesUntil("bootmode=DATAWAIT");
    ASSERT_EQ(port_->writeInBlocks(data), data.size());
    linesUntil("Versionup succeed");
    EXPECT_EQ(closeAndWait(), 0);
    EXPECT_FALSE(transcriptHas("all the same"));
    EXPECT_TRUE(transcriptHas("\nresult: match\n"));
}

TEST_F(SimulatorRun, AHeldDataRequestGoesOutAtTheDeadline) {
    const auto data = sampleData();
    start({"--data", dataFile(data), "--hold-data-request", (dir_ / "never").string(),
           "--wait-open-ms", "200"});
    linesUntil("bootmode=DATAWAIT");
    ASSERT_EQ(port_->writeInBlocks(data), data.size());
    linesUntil("Versionup succeed");
    EXPECT_EQ(closeAndWait(), 0);
    const std::string& transcript = sim_->restOfTranscript();
    const auto late = transcript.find("after 200 ms: asking for the data all the same");
    ASSERT_NE(late, std::string::npos) << transcript;
    EXPECT_LT(late, transcript.find("device> bootmode=DATAWAIT"));
}

TEST_F(SimulatorRun, GivesUpWhenNobodyOpensThePort) {
    sim_ = std::make_unique<SimulatorProcess>(std::vector<std::string>{"--wait-open-ms", "100"});
    EXPECT_EQ(sim_->waitForExit(), 1);
    EXPECT_TRUE(transcriptHas("result: the port was not opened"));
}

}  // namespace

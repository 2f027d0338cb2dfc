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
#include "update/sha256.h"

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
        return linesUntil(*port_, keyword);
    }
    std::vector<std::string> linesUntil(HostPort& port, const std::string& keyword) {
        std::vector<std::string> lines;
        while (const auto raw = port.readRawLine()) {
            rawBytes_ += *raw;
            lines.push_back(asConsoleShowsIt(*raw));
            if (lines.back().find(keyword) != std::string::npos) return lines;
        }
        ADD_FAILURE() << "no line with \"" << keyword << "\"";
        return lines;
    }

    // One device, as the tool serves it: it boots, asks, takes the file and says `endKeyword`.
    void serve(HostPort& port, const std::vector<std::uint8_t>& data,
               const std::string& endKeyword) {
        const auto boot = linesUntil(port, "bootmode=DATAWAIT");
        ASSERT_FALSE(boot.empty());
        EXPECT_NE(boot.front().find("QELP boot loader"), std::string::npos) << "it boots";
        ASSERT_EQ(port.writeInBlocks(data), data.size());
        linesUntil(port, endKeyword);
    }

    // Reads the transcript on to a line that contains `text`.
    bool transcriptReaches(const std::string& text) {
        while (const auto line = sim_->readLine()) {
            if (line->find(text) != std::string::npos) return true;
        }
        return false;
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

std::string sha256Of(const std::vector<std::uint8_t>& data) {
    Sha256 sha;
    sha.Update(data.data(), data.size());
    return Sha256::Hex(sha.Finish());
}

// What the tool does for one device of a row, and what that device's result line must say.
enum class Host { kServes, kServesTwice, kCorrupts, kStallsThenReopens, kLosesTheAdapter };

struct RowDevice {
    Host host;
    const char* endKeyword;  // empty: the device says no end word
    long bytes;              // in its last transfer
    bool whole;
    bool ok;
};

struct RowCase {
    const char* name;
    std::vector<std::string> args;
    std::size_t dataSize;
    std::vector<RowDevice> devices;
    int exitCode;
};

void PrintTo(const RowCase& c, std::ostream* out) {
    *out << c.name;
}

class SimulatorRow : public SimulatorRun, public ::testing::WithParamInterface<RowCase> {};

TEST_P(SimulatorRow, EachDeviceOfTheRowPlaysAndIsJudgedOnItsOwn) {
    const RowCase& c = GetParam();
    const auto data = sampleData(c.dataSize);
    const std::string link = (dir_ / "port").string();
    auto args = c.args;
    args.insert(args.end(), {"--data", dataFile(data), "--link", link, "--between-ms", "100",
                             "--idle-ms", "300"});
    start(args);
    for (const RowDevice& d : c.devices) {
        switch (d.host) {
            case Host::kServes:
                serve(*port_, data, d.endKeyword);
                break;
            case Host::kServesTwice:
                serve(*port_, data, "bootmode=DATAWAIT");
                ASSERT_EQ(port_->writeInBlocks(data), data.size());
                linesUntil(d.endKeyword);
                break;
            case Host::kCorrupts: {
                auto corrupted = data;
                corrupted[777] ^= 0x40;
                serve(*port_, corrupted, d.endKeyword);
                break;
            }
            case Host::kStallsThenReopens:
                // As a tool whose writes time out: it closes and opens the port again, leaving
                // unread bytes behind that the next device must never take for its file.
                linesUntil("bootmode=DATAWAIT");
                EXPECT_LT(port_->writeInBlocks(data, 1s), data.size());
                port_.reset();
                ASSERT_TRUE(transcriptReaches("host> closed the port"));
                ASSERT_TRUE(transcriptReaches("waiting for the tool to open"));
                port_ = std::make_unique<HostPort>(link);
                break;
            case Host::kLosesTheAdapter:
                linesUntil("bootmode=DATAWAIT");
                port_->writeInBlocks(data);
                EXPECT_TRUE(port_->waitForHangUp());
                ASSERT_TRUE(transcriptReaches("the adapter is back: " + link));
                port_ = std::make_unique<HostPort>(link);
                break;
        }
    }
    EXPECT_EQ(closeAndWait(), c.exitCode);

    const auto results = sim_->results();
    ASSERT_EQ(results.size(), c.devices.size()) << sim_->restOfTranscript();
    for (std::size_t i = 0; i < results.size(); ++i) {
        const SimulatedDeviceResult& r = results[i];
        const RowDevice& d = c.devices[i];
        SCOPED_TRACE("device " + std::to_string(i + 1) + ": " + r.result);
        EXPECT_EQ(r.device, static_cast<int>(i + 1));
        EXPECT_EQ(r.port, link);
        EXPECT_EQ(r.ok, d.ok);
        EXPECT_EQ(r.bytes, d.bytes);
        EXPECT_EQ(r.whole, d.whole);
        EXPECT_EQ(r.sha256 == sha256Of(data), d.whole);
        if (*d.endKeyword != '\0') {
            ASSERT_TRUE(r.endWord.has_value());
            EXPECT_NE(r.endWord->find(d.endKeyword), std::string::npos);
            ASSERT_TRUE(r.requestedMs && r.endedMs && r.tookMs);
            EXPECT_EQ(*r.tookMs, *r.endedMs - *r.requestedMs);
        } else {
            EXPECT_FALSE(r.endWord.has_value());
            EXPECT_FALSE(r.tookMs.has_value());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SimulatorRow,
    ::testing::Values(RowCase{"MixedWords",
                              {"--scenario", "success,record-header,twice"},
                              1001,
                              {{Host::kServes, "Versionup succeed", 1001, true, true},
                               {Host::kServes, "record header", 1001, true, true},
                               {Host::kServesTwice, "Versionup succeed", 1001, true, true}},
                              0},
                      RowCase{"OneCorruptedTransferFailsTheRow",
                              {"--scenario", "success,bootmode-error,success"},
                              1001,
                              {{Host::kServes, "Versionup succeed", 1001, true, true},
                               {Host::kCorrupts, "bootmode=ERROR", 1001, false, false},
                               {Host::kServes, "Versionup succeed", 1001, true, true}},
                              1},
                      RowCase{"StalledDeviceThenAReopenedPort",
                              {"--scenario", "stall,success", "--stall-after", "1000"},
                              64 * 1024,
                              {{Host::kStallsThenReopens, "", 1000, false, true},
                               {Host::kServes, "Versionup succeed", 64 * 1024, true, true}},
                              0},
                      RowCase{"PulledAdapterComesBackUnderItsName",
                              {"--scenario", "vanish,success", "--hangup-after", "500",
                               "--vanish-ms", "300"},
                              1001,
                              {{Host::kLosesTheAdapter, "", 500, false, true},
                               {Host::kServes, "Versionup succeed", 1001, true, true}},
                              0}),
    [](const auto& param) { return std::string(param.param.name); });

// Both plugged in a second late, then neither port waits for the other.
TEST_F(SimulatorRun, TwoLatePortsPlayTheirRowsSideBySide) {
    const auto data = sampleData();
    const std::vector<std::string> links{(dir_ / "a").string(), (dir_ / "b").string()};
    const auto started = std::chrono::steady_clock::now();
    sim_ = std::make_unique<SimulatorProcess>(
        std::vector<std::string>{"--link", links[0], "--link", links[1], "--data", dataFile(data),
                                 "--scenario", "success,record-header", "--appear-after-ms", "1000",
                                 "--between-ms", "100", "--boot-delay-ms", "0"});
    ASSERT_TRUE(sim_->readLine() && sim_->readLine()) << "one path line per port";
    if (fs::exists(fs::symlink_status(links[0]))) {
        EXPECT_GE(std::chrono::steady_clock::now() - started, 1000ms) << "the link came early";
    }
    ASSERT_TRUE(transcriptReaches(" appeared") && transcriptReaches(" appeared"));
    HostPort a(links[0]);
    HostPort b(links[1]);
    for (const char* word : {"Versionup succeed", "record header"}) {
        // Both ask before either is served: neither port waits for the other.
        linesUntil(a, "bootmode=DATAWAIT");
        linesUntil(b, "bootmode=DATAWAIT");
        ASSERT_EQ(a.writeInBlocks(data), data.size());
        ASSERT_EQ(b.writeInBlocks(data), data.size());
        linesUntil(a, word);
        linesUntil(b, word);
    }
    a.close();
    b.close();
    EXPECT_EQ(sim_->waitForExit(), 0);

    const auto results = sim_->results();
    ASSERT_EQ(results.size(), 4u) << sim_->restOfTranscript();
    for (std::size_t p = 0; p < links.size(); ++p) {
        std::vector<std::string> played;
        for (const auto& r : results) {
            if (r.port != links[p]) continue;
            played.push_back(std::to_string(r.device) + " " + r.scenario);
            EXPECT_EQ(r.whole, true);
            EXPECT_GE(r.requestedMs.value_or(0), 1000);
        }
        EXPECT_EQ(played, (std::vector<std::string>{"1 success", "2 record-header"}));
        EXPECT_TRUE(transcriptHas("\n[" + std::to_string(p + 1) + "] result: match\n"));
    }
}

}  // namespace

// The real qelpupd-cli --station against the device simulator playing lines of devices on several
// pseudo-terminals at once: what each run's record says, what each device received, and the
// station's exit status, for a line of devices, a port that appears late or too late, an adapter
// pulled and plugged back, a device that ends after its run timed out, Ctrl+C during transfers or
// before any request, and --runs.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/record_field.h"
#include "support/work_folder.h"
#include "tools/cli_process.h"
#include "tools/simulator_process.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t lf; (lf = text.find('\n', from)) != std::string::npos; from = lf + 1)
        lines.push_back(text.substr(from, lf - from));
    return lines;
}

enum class Act {
    kNothing,
    kInterrupt,         // Ctrl+C once every port is sending
    kInterruptWaiting,  // Ctrl+C once every port's device talks, before it asks for the data
};

struct StationCase {
    const char* name;
    int ports;
    std::vector<std::string> simulator;  // beside --data and one --link per port
    std::vector<std::string> station;    // beside --station --json and one --port per port
    Act act = Act::kNothing;
    std::size_t fileSize = 3001;  // 15 whole blocks and a remainder of 1
    // Expected: each port's runs in order, as "outcome/ended_by/transfer" of their records.
    std::vector<std::string> runs;
    int status;
};

void PrintTo(const StationCase& c, std::ostream* out) {
    *out << c.name;
}

class StationRun : public testing::TestWithParam<StationCase> {
  protected:
    // The records go into the work folder, not the user's own.
    void SetUp() override { setenv("XDG_STATE_HOME", (folder_.Path() / "state").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_STATE_HOME"); }

    std::vector<std::string> Records() const {
        std::ifstream in(folder_.Path() / "state" / "qelpupd" / "updates.log");
        std::string text((std::istreambuf_iterator<char>(in)), {});
        return Lines(text);
    }

    test::WorkFolder folder_;
};

TEST_P(StationRun, RecordsEachDeviceAsItEnded) {
    const StationCase& c = GetParam();
    const std::string data = folder_.WriteDataFile(c.fileSize);
    std::vector<std::string> simulatorArgs = {"--data", data,           "--boot-delay-ms",
                                              "5",      "--between-ms", "200"};
    std::vector<std::string> stationArgs = {"--station", "--json"};
    std::vector<std::string> links;
    for (int i = 1; i <= c.ports; ++i) {
        links.push_back((folder_.Path() / ("port" + std::to_string(i))).string());
        simulatorArgs.insert(simulatorArgs.end(), {"--link", links.back()});
        stationArgs.insert(stationArgs.end(), {"--port", links.back()});
    }
    simulatorArgs.insert(simulatorArgs.end(), c.simulator.begin(), c.simulator.end());
    stationArgs.insert(stationArgs.end(), c.station.begin(), c.station.end());

    SimulatorProcess devices(simulatorArgs);
    for (int i = 0; i < c.ports; ++i) ASSERT_TRUE(devices.readLine()) << "no terminal's path";
    CliProcess station(stationArgs);
    if (c.act != Act::kNothing) {
        // Every port has begun its transfer (its first figures are out), or has a device talking.
        const std::string after =
            c.act == Act::kInterrupt ? "\",\"run\":1,\"percent\"" : "\",\"run\":1}";
        ASSERT_TRUE(station.WaitUntil(
            [&](const std::string& out, const std::string&) {
                return std::all_of(links.begin(), links.end(), [&](const std::string& link) {
                    return out.find("\"port\":\"" + link + after) != std::string::npos;
                });
            },
            30s));
        station.Signal(SIGINT);
    }
    const CliProcess::Ended ended = station.Finish(60s);
    EXPECT_EQ(ended.status, c.status) << ended.err;

    // Each port's records, in order, end as the devices did; each console log begins with the
    // device's first line, printed before its run began.
    std::map<std::string, std::vector<std::string>> records;
    for (const std::string& line : Records()) {
        records[test::RecordField(line, "port")].push_back(line);
        std::ifstream console(test::RecordField(line, "console_log"));
        std::string first;
        std::getline(console, first);
        EXPECT_EQ(first.rfind("QELP boot loader", 0), 0u) << line;
    }
    for (const std::string& link : links) {
        std::vector<std::string> runs;
        for (const std::string& line : records[link])
            runs.push_back(test::RecordField(line, "outcome") + "/" +
                           test::RecordField(line, "ended_by") + "/" +
                           test::RecordField(line, "transfer"));
        EXPECT_EQ(runs, c.runs) << link;
    }

    // What each device received is what its record says went out: the whole file when the device
    // had its say, or whole blocks of it after a stop. (A time-out closes the port, and a
    // pseudo-terminal drops on its close what its far end has not read yet.)
    for (int i = 0; i < c.ports; ++i) {
        for (std::size_t run = 0; run < c.runs.size(); ++run) {
            const auto result = devices.readResult();
            ASSERT_TRUE(result) << "device " << run + 1 << " of a port gave no result";
            const std::vector<std::string>& lines = records[result->port];
            ASSERT_LT(static_cast<std::size_t>(result->device - 1), lines.size());
            const std::string& record = lines[static_cast<std::size_t>(result->device - 1)];
            const std::string sent = test::RecordField(record, "bytes");
            if (test::RecordField(record, "transfer") == "complete" &&
                test::RecordField(record, "ended_by") == "device") {
                EXPECT_EQ(result->whole, true) << result->result;
                EXPECT_EQ(sent, std::to_string(c.fileSize));
            } else if (c.act == Act::kInterrupt) {
                EXPECT_EQ(std::to_string(result->bytes), sent) << result->result;
                EXPECT_EQ(result->bytes % 200, 0) << "not whole blocks";
            }
        }
    }

    // The JSON end of each run carries its record line as it is.
    std::size_t ends = 0;
    for (const std::string& line : Lines(ended.out)) {
        if (line.find("{\"event\":\"run-ended\"") != 0) continue;
        ++ends;
        const auto record = line.find(",\"record\":");
        ASSERT_NE(record, std::string::npos) << line;
        const std::vector<std::string>& lines = records[test::RecordField(line, "port")];
        EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& r) {
                                   return line.compare(record + 10, r.size(), r) == 0;
                               }),
                  lines.end())
            << line;
    }
    EXPECT_EQ(ends, links.size() * c.runs.size());
    EXPECT_EQ(Lines(ended.out).back().find("{\"event\":\"summary\""), 0u) << ended.out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StationRun,
    testing::Values(
        StationCase{
            "FourPortsThreeDevicesEach",
            4,
            {"--scenario", "success,record-header,success"},
            {"--runs", "3"},
            Act::kNothing,
            3001,
            {"succeeded/device/complete", "failed/device/complete", "succeeded/device/complete"},
            1},
        StationCase{"PortAppearingLate",
                    1,
                    {"--appear-after-ms", "3000"},
                    {"--runs", "1"},
                    Act::kNothing,
                    3001,
                    {"succeeded/device/complete"},
                    0},
        // Larger than a terminal holds: the adapter goes while the station still sends.
        StationCase{"AdapterPulledAndPluggedBack",
                    1,
                    {"--scenario", "vanish,success"},
                    {"--runs", "2"},
                    Act::kNothing,
                    60000,
                    {"failed/hang-up/hung-up", "succeeded/device/complete"},
                    1},
        // Larger than the terminals hold, at the line's pace: the stop comes mid-transfer.
        StationCase{"InterruptDuringFourTransfers",
                    4,
                    {"--pace"},
                    {},
                    Act::kInterrupt,
                    60000,
                    {"closed-by-operator/signal/cancelled"},
                    130},
        // The first device is still taking the file when its run times out, and says its word
        // only later, to the port reopened for the next device: that is no run of its own.
        StationCase{"TimedOutDeviceEndsLate",
                    1,
                    {"--scenario", "success,success", "--pace", "--idle-ms", "800"},
                    {"--timeout", "2", "--runs", "2"},
                    Act::kNothing,
                    8000,
                    {"closed-by-operator/timeout/complete", "closed-by-operator/timeout/complete"},
                    1},
        // The port named comes too late: nothing could start.
        StationCase{"NoPortWithinTimeout",
                    1,
                    {"--appear-after-ms", "20000"},
                    {"--timeout", "1"},
                    Act::kNothing,
                    3001,
                    {},
                    2},
        // A device that never asks: stopped while it talks, its run never began.
        StationCase{"InterruptBeforeAnyRequest",
                    2,
                    {"--scenario", "silent"},
                    {},
                    Act::kInterruptWaiting,
                    3001,
                    {},
                    130},
        // Devices keep coming, but each port ends after its first.
        StationCase{"RunsOneEndsByItself",
                    2,
                    {"--scenario", "success,success"},
                    {"--runs", "1"},
                    Act::kNothing,
                    3001,
                    {"succeeded/device/complete"},
                    0}),
    [](const testing::TestParamInfo<StationCase>& param) { return param.param.name; });

}  // namespace

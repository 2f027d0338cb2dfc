// What a station shows and writes, from the events of its ports: the live view's line, the plain
// line and the JSON object of each kind of event, the view on narrow terminals, the summary and
// the exit status.

#include "cli/station_view.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "cli/station_json.h"
#include "cli/station_state.h"

namespace {

using Kind = StationEvent::Kind;
using std::chrono::milliseconds;

// 2026-12-08T22:30:08.123 UTC, as the record writes it in the test's time zone, and its clock.
const std::chrono::system_clock::time_point kTime{milliseconds(1796769008123)};
const std::string kIso = "2026-12-09T07:30:08.123+09:00";
const std::string kClock = "07:30:08";

// Times are shown in a zone nine hours east of UTC, so that a wrong format, offset or zone fails;
// the zone the test found is put back after.
class StationText : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) found_ = zone;
        SetZone("JST-9");
    }
    void TearDown() override { SetZone(found_); }

  private:
    static void SetZone(const std::optional<std::string>& zone) {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone->c_str() : "");
        _tzset();
#else
        if (zone)
            setenv("TZ", zone->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
#endif
    }
    std::optional<std::string> found_;
};

StationEvent Ev(Kind kind, int run = 0) {
    StationEvent event;
    event.kind = kind;
    event.run = run;
    event.time = kTime;
    return event;
}

StationEvent Waiting() {
    StationEvent event = Ev(Kind::kWaiting);
    event.device = "/dev/ttyUSB0";
    return event;
}

StationEvent Progress(std::uint64_t sent, std::uint64_t total, long ms) {
    StationEvent event = Ev(Kind::kProgress, 1);
    event.progress = {sent, total, milliseconds(ms)};
    return event;
}

StationEvent Ended(RecordedOutcome outcome, const char* endedBy, const char* detail, int message,
                   bool timedOut = false, const char* record = "") {
    StationEvent event = Ev(Kind::kEnded, 1);
    event.ended =
        RunEndReport{outcome, timedOut, message, endedBy, detail, milliseconds(12345), record};
    return event;
}

StationEvent WithReason(StationEvent event, const char* reason) {
    event.reason = reason;
    return event;
}

struct EventCase {
    const char* name;
    std::vector<StationEvent> events;  // applied in order to a port named COM5
    std::string view;                  // the port's line of the live view
    std::string line;                  // the plain line of the last event
    std::string json;                  // its JSON object
};

void PrintTo(const EventCase& c, std::ostream* out) {
    *out << c.name;
}

class StationEventKinds : public StationText, public testing::WithParamInterface<EventCase> {};

TEST_P(StationEventKinds, ShowAsTheViewLineThePlainLineAndTheJsonObject) {
    const EventCase& c = GetParam();
    PortState port;
    port.name = "COM5";
    for (const StationEvent& event : c.events) ApplyEvent(port, event);
    EXPECT_EQ(ViewLines({port}, 300).at(1), c.view);
    EXPECT_EQ(EventLine(port, c.events.back()), c.line + "\n");
    EXPECT_EQ(EventJson(port, c.events.back()), c.json + "\n");
}

const std::string kOk = "アップデート作業は正常に終了しました。";
const std::string kFailed =
    "アップデート作業は正常に終了しませんでした。\\nもう一度やり直してください。";
const std::string kHead = "{\"event\":";
const std::string kWhen = ",\"time\":\"" + kIso + "\",\"port\":\"COM5\"";

INSTANTIATE_TEST_SUITE_P(
    Kinds, StationEventKinds,
    testing::Values(
        EventCase{"absent",
                  {Ev(Kind::kAbsent)},
                  "COM5  -          0     0       0  absent, waiting for it to appear",
                  kClock + " COM5: absent, waiting for it to appear",
                  kHead + "\"port-absent\"" + kWhen + ",\"reason\":\"\"}"},
        EventCase{"unavailable",
                  {WithReason(Ev(Kind::kUnavailable), "busy, held by \"picocom\"")},
                  "COM5  -          0     0       0  cannot be opened, trying again: busy, held by "
                  "\"picocom\"",
                  kClock + " COM5: cannot be opened, trying again: busy, held by \"picocom\"",
                  kHead + "\"port-unavailable\"" + kWhen +
                      ",\"reason\":\"busy, held by \\\"picocom\\\"\"}"},
        EventCase{"waiting",
                  {Ev(Kind::kAbsent), Waiting()},
                  "COM5  /dev/ttyUSB0     0     0       0  waiting for a device",
                  kClock + " COM5: open (/dev/ttyUSB0), waiting for a device",
                  kHead + "\"waiting\"" + kWhen + ",\"device\":\"/dev/ttyUSB0\"}"},
        EventCase{"device",
                  {Waiting(), Ev(Kind::kDevice, 1)},
                  "COM5  /dev/ttyUSB0     0     0       0  run 1: receiving",
                  kClock + " COM5: run 1: receiving",
                  kHead + "\"device\"" + kWhen + ",\"run\":1}"},
        EventCase{"sending",
                  {Waiting(), Ev(Kind::kBegan, 1), Progress(11800, 28000, 5000)},
                  "COM5  /dev/ttyUSB0     0     0       0  run 1: sending  42%  11800/28000 bytes  "
                  "2.4 kB/s  0:07 left",
                  kClock + " COM5: run 1: sending  42%  11800/28000 bytes  2.4 kB/s  0:07 left",
                  kHead + "\"sending\"" + kWhen +
                      ",\"run\":1,\"percent\":42,\"sent\":11800,\"total\":28000}"},
        EventCase{"sent",
                  {Waiting(), Ev(Kind::kBegan, 1), Progress(28000, 28000, 14583)},
                  "COM5  /dev/ttyUSB0     0     0       0  run 1: data sent, waiting for the "
                  "device's word",
                  kClock + " COM5: run 1: sending 100%  28000/28000 bytes  1.9 kB/s  0:00 left",
                  kHead + "\"sending\"" + kWhen +
                      ",\"run\":1,\"percent\":100,\"sent\":28000,\"total\":28000}"},
        // The record's own line goes into the object as it is.
        EventCase{"succeeded",
                  {Waiting(), Ev(Kind::kBegan, 1),
                   Ended(RecordedOutcome::kSucceeded, "device", "Versionup succeed", 109, false,
                         "{\"outcome\":\"succeeded\",\"sent\":{\"bytes\":28000}}")},
                  "COM5  /dev/ttyUSB0     1     1       0  waiting for a device; last: run 1 "
                  "succeeded (Versionup succeed) in 12.3 s at " +
                      kClock + " " + kOk,
                  kClock + " COM5: run 1: update succeeded (Versionup succeed) in 12.3 s. " + kOk,
                  kHead + "\"run-ended\"" + kWhen +
                      ",\"run\":1,\"outcome\":\"succeeded\",\"message\":109,\"text\":\"" + kOk +
                      "\",\"ended_by\":\"device\",\"detail\":\"Versionup succeed\","
                      "\"seconds\":12.345,\"record\":{\"outcome\":\"succeeded\",\"sent\":{"
                      "\"bytes\":28000}},\"runs\":1,\"succeeded\":1,\"failed\":0}"},
        EventCase{
            "hung up",
            {Waiting(), Ev(Kind::kBegan, 1), Ended(RecordedOutcome::kFailed, "hang-up", "", 108)},
            "COM5  /dev/ttyUSB0     1     0       1  waiting for a device; last: run 1 "
            "failed (hang-up) in 12.3 s at " +
                kClock +
                " "
                "アップデート作業は正常に終了しませんでした。 もう一度やり直してください。",
            kClock + " COM5: run 1: update failed (hang-up) in 12.3 s. "
                     "アップデート作業は正常に終了しませんでした。 もう一度やり直してください。",
            kHead + "\"run-ended\"" + kWhen +
                ",\"run\":1,\"outcome\":\"failed\",\"message\":108,\"text\":\"" + kFailed +
                "\",\"ended_by\":\"hang-up\",\"detail\":null,\"seconds\":12.345,"
                "\"record\":null,\"runs\":1,\"succeeded\":0,\"failed\":1}"},
        // A time-out is a failure, though the record says the program closed the run.
        EventCase{
            "timed out",
            {Waiting(), Ev(Kind::kBegan, 1),
             Ended(RecordedOutcome::kClosedByOperator, "timeout", "", 0, true), Ev(Kind::kClosed)},
            "COM5  /dev/ttyUSB0     1     0       1  closed; last: run 1 timed out in 12.3 s at " +
                kClock,
            kClock + " COM5: closed after 1 run (0 succeeded, 1 failed)",
            kHead + "\"port-closed\"" + kWhen + ",\"runs\":1,\"succeeded\":0,\"failed\":1}"},
        EventCase{"stopped",
                  {Waiting(), Ev(Kind::kBegan, 1),
                   Ended(RecordedOutcome::kClosedByOperator, "signal", "SIGINT", 0)},
                  "COM5  /dev/ttyUSB0     1     0       1  waiting for a device; last: run 1 "
                  "stopped (SIGINT) in 12.3 s at " +
                      kClock,
                  kClock + " COM5: run 1: update stopped (SIGINT) in 12.3 s.",
                  kHead + "\"run-ended\"" + kWhen +
                      ",\"run\":1,\"outcome\":\"stopped\",\"message\":null,\"text\":null,"
                      "\"ended_by\":\"signal\",\"detail\":\"SIGINT\",\"seconds\":12.345,"
                      "\"record\":null,\"runs\":1,\"succeeded\":0,\"failed\":1}"},
        EventCase{"note",
                  {Waiting(), WithReason(Ev(Kind::kNote), "cannot open the data file\t/x")},
                  "COM5  /dev/ttyUSB0     0     0       0  waiting for a device",
                  kClock + " COM5: cannot open the data file\t/x",
                  kHead + "\"note\"" + kWhen + ",\"text\":\"cannot open the data file\\t/x\"}"}),
    [](const testing::TestParamInfo<EventCase>& param) {
        std::string name = param.param.name;
        std::erase(name, ' ');
        return name;
    });

// The plain lines and JSON objects of a transfer: each 10 % step once, whatever the blocks.
TEST_F(StationText, ProgressIsNewsAtEachTenPercentStep) {
    PortState port;
    ApplyEvent(port, Ev(Kind::kBegan, 1));
    std::vector<int> reported;
    for (std::uint64_t sent = 0; sent <= 2000; sent += 150) {
        const StationEvent event = Progress(sent, 2000, 0);
        if (Newsworthy(port, event)) reported.push_back(static_cast<int>(sent));
        ApplyEvent(port, event);
    }
    EXPECT_EQ(reported, (std::vector<int>{0, 300, 450, 600, 900, 1050, 1200, 1500, 1650, 1800}));
    // The next run starts at 0 % again.
    ApplyEvent(port, Ev(Kind::kBegan, 2));
    StationEvent next = Progress(0, 2000, 0);
    next.run = 2;
    EXPECT_TRUE(Newsworthy(port, next));
}

// No line of the view is wider than the terminal, and none is cut inside a character: Japanese
// characters take two columns, the message's half-width katakana one.
TEST_F(StationText, ViewFitsTheTerminalWhateverItsWidth) {
    PortState port;
    port.name = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.4.2:1.0-port0";
    for (const StationEvent& event :
         {Waiting(), Ev(Kind::kBegan, 1), Ended(RecordedOutcome::kFailed, "device", "x", 108)})
        ApplyEvent(port, event);
    const std::string whole = ViewLines({port}, 1000).at(1);
    // A long name keeps its end, where the sockets of one hub differ.
    EXPECT_EQ(whole.rfind("\u2026/pci-0000:00:14.0-usb-0:1.4.2:1.0-port0  /dev/ttyUSB0", 0), 0u)
        << whole;
    for (int columns = 1; columns <= DisplayWidth(whole) + 1; ++columns) {
        const std::string line = ViewLines({port}, columns).at(1);
        ASSERT_LE(DisplayWidth(line), columns);
        ASSERT_EQ(whole.compare(0, line.size(), line), 0);
        // The cut fell between characters: the next byte starts one.
        if (line.size() < whole.size()) {
            ASSERT_NE(whole[line.size()] & 0xC0, 0x80) << columns;
        }
    }
    EXPECT_EQ(DisplayWidth("ﾊﾞｰｼﾞｮﾝ"), 7);
    EXPECT_EQ(DisplayWidth("アップデート"), 12);
}

TEST_F(StationText, RedrawGoesBackOverTheLinesDrawnBefore) {
    EXPECT_EQ(RedrawText(0, {"a", "b"}), "a\x1b[K\nb\x1b[K\n");
    EXPECT_EQ(RedrawText(2, {"a", "b"}), "\x1b[2Fa\x1b[K\nb\x1b[K\n");
    // Fewer lines than before: what is left below goes.
    EXPECT_EQ(RedrawText(3, {"a"}), "\x1b[3Fa\x1b[K\n\x1b[J");
}

struct EndCase {
    const char* name;
    std::vector<std::vector<StationEvent>> ports;
    bool stopped;
    int status;
};

class StationEnds : public StationText, public testing::WithParamInterface<EndCase> {};

TEST_P(StationEnds, ExitStatus) {
    std::vector<PortState> ports(GetParam().ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i)
        for (const StationEvent& event : GetParam().ports[i]) ApplyEvent(ports[i], event);
    EXPECT_EQ(StationExitStatus(ports, GetParam().stopped), GetParam().status);
}

const StationEvent kSucceeded = Ended(RecordedOutcome::kSucceeded, "device", "", 109);
const StationEvent kTimedOut = Ended(RecordedOutcome::kClosedByOperator, "timeout", "", 0, true);

INSTANTIATE_TEST_SUITE_P(
    Ends, StationEnds,
    testing::Values(EndCase{"all succeeded", {{Waiting(), kSucceeded}, {Waiting()}}, false, 0},
                    EndCase{"one timed out", {{Waiting(), kSucceeded, kTimedOut}}, false, 1},
                    // No port ever opened: nothing could start, though one is still tried.
                    EndCase{
                        "none opened", {{Ev(Kind::kAbsent)}, {Ev(Kind::kUnavailable)}}, false, 2},
                    EndCase{"no port at all", {}, false, 2},
                    EndCase{"stopped", {{Waiting(), kSucceeded}}, true, 130}),
    [](const testing::TestParamInfo<EndCase>& param) {
        std::string name = param.param.name;
        std::erase(name, ' ');
        return name;
    });

TEST_F(StationText, SummaryCountsPerPortAndInTotal) {
    std::vector<PortState> ports(2);
    ports[0].name = "/dev/ttyUSB0";
    ports[1].name = "COM12";
    for (const StationEvent& event : {Waiting(), kSucceeded, kTimedOut, kSucceeded})
        ApplyEvent(ports[0], event);
    ApplyEvent(ports[1], Ended(RecordedOutcome::kFailed, "hang-up", "", 108));
    EXPECT_EQ(SummaryTable(ports),
              "PORT           RUNS  SUCCEEDED  FAILED\n"
              "/dev/ttyUSB0      3          2       1\n"
              "COM12             1          0       1\n"
              "total             4          2       2\n");
    EXPECT_EQ(SummaryJson(ports, 1, kTime),
              "{\"event\":\"summary\",\"time\":\"" + kIso +
                  "\",\"ports\":["
                  "{\"port\":\"/dev/ttyUSB0\",\"runs\":3,\"succeeded\":2,\"failed\":1},"
                  "{\"port\":\"COM12\",\"runs\":1,\"succeeded\":0,\"failed\":1}],"
                  "\"runs\":4,\"succeeded\":2,\"failed\":2,\"exit_status\":1}\n");
}

}  // namespace

// The simulator's pure parts: command line, data checking, pacing, verdicts, transcript text.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/data_check.h"
#include "simulator/device_result.h"
#include "simulator/options.h"
#include "simulator/pacer.h"
#include "simulator/transcript.h"
#include "simulator/verdict.h"

namespace {

using namespace qelp::sim;
using namespace std::chrono_literals;
using namespace std::string_literals;
using Action = ParsedCommandLine::Action;

ParsedCommandLine parse(std::vector<std::string_view> args) {
    return parseCommandLine(args);
}

TEST(CommandLine, AcceptedForms) {
    const auto stall = parse({"--stall-after", "300", "--scenario", "stall", "--idle-ms=0"});
    ASSERT_EQ(stall.action, Action::kRun) << stall.error;
    EXPECT_EQ(stall.options.scenarios, std::vector{Scenario::kStall});
    EXPECT_EQ(stall.options.stallAfter, 300u) << "the order of options does not matter";
    EXPECT_EQ(stall.options.idle, 0ms);

    const auto other = parse({"--data", "7118K.UPF", "--link=/tmp/com1", "--pace", "--wait-open-ms",
                              "86400000", "--scenario=hangup", "--hangup-after=0"});
    ASSERT_EQ(other.action, Action::kRun) << other.error;
    EXPECT_EQ(other.options.dataFile, "7118K.UPF");
    EXPECT_EQ(other.options.linkPaths, std::vector<std::string>{"/tmp/com1"});
    EXPECT_TRUE(other.options.pace);
    EXPECT_EQ(other.options.waitOpen, 86400000ms);
    EXPECT_EQ(other.options.hangupAfter, 0u);

    const auto line = parse({"--scenario", "success,vanish,record-header", "--link", "/tmp/a",
                             "--link=/tmp/b", "--hangup-after", "700", "--between-ms", "200",
                             "--vanish-ms=0", "--appear-after-ms", "3000"});
    ASSERT_EQ(line.action, Action::kRun) << line.error;
    EXPECT_EQ(line.options.scenarios, (std::vector<Scenario>{Scenario::kSuccess, Scenario::kVanish,
                                                             Scenario::kRecordHeader}));
    EXPECT_EQ(line.options.linkPaths, (std::vector<std::string>{"/tmp/a", "/tmp/b"}));
    EXPECT_EQ(portCount(line.options), 2u);
    EXPECT_EQ(line.options.between, 200ms);
    EXPECT_EQ(line.options.vanishFor, 0ms);
    EXPECT_EQ(line.options.appearAfter, 3000ms);
    EXPECT_EQ(portCount(parse({}).options), 1u) << "one port without a link";

    EXPECT_EQ(parse({"--pace", "-h"}).action, Action::kShowHelp);
    EXPECT_EQ(parse({"--help", "--bogus"}).action, Action::kShowHelp);
}

TEST(CommandLine, RejectedForms) {
    const struct {
        std::vector<std::string_view> args;
        std::string_view reason;
    } cases[] = {
        {{"data.upf"}, "unknown argument"},
        {{"--scenario"}, "needs a value"},
        {{"--scenario", "loud"}, "does not know"},
        {{"--idle-ms", "-5"}, "milliseconds"},
        {{"--idle-ms="}, "milliseconds"},
        {{"--linger-ms", "86400001"}, "milliseconds"},
        {{"--scenario", "hangup", "--hangup-after", "1k"}, "byte count"},
        {{"--pace=yes"}, "takes no value"},
        {{"--hangup-after", "10"}, "only applies to --scenario hangup"},
        {{"--scenario", "hangup", "--stall-after", "10"}, "only applies to --scenario stall"},
        {{"--scenario", "success,,twice"}, "does not know \"\""},
        {{"--scenario", "success,"}, "does not know \"\""},
        {{"--scenario", "hangup,success", "--link", "p"}, "only the last device"},
        {{"--scenario", "success,vanish"}, "vanish needs --link"},
        {{"--appear-after-ms", "10"}, "needs --link"},
        {{"--link", "p", "--link=p"}, "names p twice"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse(c.args);
        EXPECT_EQ(parsed.action, Action::kReject) << c.args.front();
        EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << parsed.error;
    }
}

TEST(CommandLine, HelpCoversEveryScenarioAndOption) {
    const std::string help = helpText();
    for (const ScenarioInfo& info : scenarioTable()) {
        EXPECT_NE(help.find("  " + std::string(info.name) + " "), std::string::npos) << info.name;
        const auto parsed = parse({"--scenario", info.name, "--link", "p"});
        EXPECT_EQ(parsed.options.scenarios, std::vector{info.scenario}) << parsed.error;
    }
    for (const char* option :
         {"--scenario", "--data", "--link", "--hold-data-request", "--pace", "--idle-ms",
          "--linger-ms", "--boot-delay-ms", "--wait-open-ms", "--hangup-after", "--stall-after",
          "--between-ms", "--vanish-ms", "--appear-after-ms", "--extra-lines", "--help"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(DataCheck, FindsWhereATransferDeparts) {
    const struct {
        std::vector<std::string_view> chunks;
        std::optional<std::size_t> cut;
        std::optional<std::size_t> mismatch;
    } cases[] = {
        {{"a", "bc", "def"}, std::nullopt, std::nullopt},
        {{"Xbcdef"}, std::nullopt, 0},
        {{"abc", "dXf"}, std::nullopt, 4},
        {{"abcd"}, std::nullopt, 4},
        {{"abcdef", "gh"}, std::nullopt, 6},
        {{"abc"}, 3, std::nullopt},
        {{"ab"}, 3, 2},
        {{"aXc"}, 3, 1},
    };
    for (const auto& c : cases) {
        DataCheck check(bytes("abcdef"));
        for (const auto chunk : c.chunks) check.add(bytes(chunk));
        EXPECT_EQ(check.mismatchAt(c.cut), c.mismatch) << c.chunks.front();
    }
}

TEST(DataCheck, HashesAcrossChunks) {
    EXPECT_EQ(fnv1a64(bytes("")), 0xcbf29ce484222325ULL);
    EXPECT_EQ(fnv1a64(bytes("a")), 0xaf63dc4c8601ec8cULL);
    DataCheck check;
    check.add(bytes("foo"));
    // Taking the SHA-256 on the way must not end it.
    EXPECT_EQ(check.sha256Hex(),
              "2c26b46b68ffc68ff99b453c1d30413413422d706483bfa0f98a5e886266e7ae");
    check.add(bytes("bar"));
    EXPECT_EQ(check.sha256Hex(),
              "c3ab8ff13720e8ad9047dd39466b3c8974e592c2fa383d4a3960714caef0c4f2");
    EXPECT_EQ(check.hash(), 0x85944171f73967e8ULL);
    EXPECT_EQ(check.copy(), bytes("foobar"));
}

TEST(Pacer, ReadsAtTheLineRateInSlices) {
    const Pacer::Clock::time_point start{};
    Pacer pacer(19200, 10, start);
    EXPECT_EQ(pacer.allowance(start), 0u) << "nothing has crossed the line yet";

    // A reader that always wakes a little late (poll rounds up to whole milliseconds) must not
    // lose that time: over 10 s the line carries 19200 bytes.
    std::size_t total = 0;
    auto now = start;
    while (now < start + 10s) {
        now = pacer.nextSliceAt() + 1ms;
        const std::size_t slice = pacer.allowance(now);
        ASSERT_EQ(slice, pacer.sliceBytes());
        pacer.consume(slice);
        total += slice;
    }
    EXPECT_LE(total, 19200u + 2 * pacer.sliceBytes());
    EXPECT_GE(total, 19200u - 2 * pacer.sliceBytes());

    // A quiet spell earns no burst: a real line carried nothing meanwhile.
    now += 5s;
    EXPECT_EQ(pacer.allowance(now), pacer.sliceBytes());
    pacer.consume(pacer.sliceBytes());
    EXPECT_EQ(pacer.allowance(now), 0u);

    // A reader that wakes 500 ms late while the sender kept bytes queued makes up all of it,
    // and no more: the line carried 960 bytes meanwhile.
    now = pacer.nextSliceAt();
    pacer.consume(pacer.allowance(now), true);
    now += 500ms;
    std::size_t caughtUp = 0;
    while (const std::size_t slice = pacer.allowance(now)) {
        pacer.consume(slice, true);
        caughtUp += slice;
    }
    EXPECT_GE(caughtUp, 960u - pacer.sliceBytes());
    EXPECT_LE(caughtUp, 960u);
}

TransferOutcome transfer(std::string_view expected, std::string_view got, TransferEnd end,
                         std::optional<std::size_t> cut = std::nullopt) {
    TransferOutcome t{expected.empty() ? DataCheck() : DataCheck(bytes(expected)), cut, end};
    t.check.add(bytes(got));
    return t;
}

TEST(Verdict, ResultLineAndExitCode) {
    const auto whole = transfer("abc", "abc", TransferEnd::kComplete);
    const struct {
        std::vector<TransferOutcome> transfers;
        int planned;
        std::size_t stray;
        bool interrupted;
        int exitCode;
        std::string_view line;
    } cases[] = {
        {{whole}, 1, 0, false, 0, "match"},
        {{whole}, 1, 4, false, 1, "match, but 4 bytes arrived unasked"},
        {{whole, transfer("abc", "abX", TransferEnd::kComplete)},
         2,
         0,
         false,
         1,
         "mismatch at byte 2 in transfer 2"},
        {{whole},
         2,
         0,
         false,
         1,
         "the port was closed before the device asked for the data (transfer 2)"},
        {{transfer("abcdef", "ab", TransferEnd::kReachedCut, 2)},
         1,
         0,
         false,
         0,
         "match (first 2 bytes)"},
        {{transfer("", "a", TransferEnd::kPortClosed)},
         1,
         0,
         false,
         1,
         "received 1 bytes, fnv1a64 af63dc4c8601ec8c, but the port was closed during the transfer"},
        {{}, 0, 0, false, 0, "nothing was asked for and nothing arrived"},
        {{}, 0, 9, false, 1, "nothing was asked for, but 9 bytes arrived unasked"},
        {{whole}, 1, 0, true, 1, "interrupted"},
    };
    for (const auto& c : cases) {
        const Verdict v = judge({c.transfers, c.planned, c.stray, c.interrupted});
        EXPECT_EQ(v.line, c.line);
        EXPECT_EQ(v.exitCode, c.exitCode) << c.line;
    }
}

// The line the station's tests and benchmarks read: its keys and their spelling are a contract.
TEST(DeviceResult, OneJsonLinePerDevice) {
    DeviceResult whole;
    whole.port = "/tmp/line/port1";
    whole.pty = "/dev/pts/7";
    whole.place = 2;
    whole.scenario = Scenario::kRecordHeader;
    whole.verdict = {kExitMatch, "match"};
    whole.transfers = 1;
    whole.bytes = 3;
    whole.sha256 = "ba7816bf";
    whole.whole = true;
    whole.endWord = endWordOf("record \"header\" error\r\n");
    whole.requested = 1520ms;
    whole.ended = 2480ms;
    EXPECT_EQ(resultJson(whole),
              R"({"port":"/tmp/line/port1","pty":"/dev/pts/7","device":2,)"
              R"("scenario":"record-header","ok":true,"result":"match","transfers":1,"bytes":3,)"
              R"("sha256":"ba7816bf","whole":true,"end_word":"record \"header\" error",)"
              R"("requested_ms":1520,"ended_ms":2480,"took_ms":960})");

    DeviceResult none;
    none.port = none.pty = "/dev/pts/3";
    none.scenario = Scenario::kSilent;
    none.verdict = {kExitProblem, "interrupted"};
    EXPECT_EQ(resultJson(none),
              R"({"port":"/dev/pts/3","pty":"/dev/pts/3","device":1,"scenario":"silent",)"
              R"("ok":false,"result":"interrupted","transfers":0,"bytes":0,"sha256":null,)"
              R"("whole":null,"end_word":null,"requested_ms":null,"ended_ms":null,)"
              R"("took_ms":null})");
    EXPECT_EQ(endWordOf("Version\x80up succ\x00"
                        "eed\r\n"s),
              "Version\\x80up succ\\x00eed");
}

TEST(Transcript, EscapesBytesThatWouldBreakLines) {
    EXPECT_EQ(escapeBytes("Copyright\r\n"), "Copyright\\r\\n");
    EXPECT_EQ(escapeBytes(std::string("a\0\x80\xFF\t", 5)), "a\\x00\\x80\\xff\\t");
    EXPECT_EQ(escapeBytes("C:\\x"), "C:\\\\x");
}

}  // namespace

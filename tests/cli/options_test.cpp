// The command line as scripts write it, and the mistakes they make.

#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Action = ParsedOptions::Action;

ParsedOptions Parse(const std::vector<std::string_view>& args) {
    return ParseOptions(args);
}

struct AcceptedCase {
    std::vector<std::string_view> args;
    Action action;
    std::string port;
    std::string dataFile;
    long timeoutMs;  // -1: none
    bool quiet;
};

class AcceptedCommandLine : public testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedCommandLine, GivesTheseValues) {
    const AcceptedCase& c = GetParam();
    const ParsedOptions parsed = Parse(c.args);
    ASSERT_EQ(parsed.action, c.action) << parsed.error;
    EXPECT_EQ(parsed.options.port, c.port);
    EXPECT_EQ(parsed.options.dataFile, c.dataFile);
    EXPECT_EQ(parsed.options.timeout ? parsed.options.timeout->count() : -1, c.timeoutMs);
    EXPECT_EQ(parsed.options.quiet, c.quiet);
}

INSTANTIATE_TEST_SUITE_P(
    Options, AcceptedCommandLine,
    testing::Values(
        AcceptedCase{{}, Action::kRun, "COM1", "", -1, false},
        AcceptedCase{{"--port", "COM2"}, Action::kRun, "COM2", "", -1, false},
        AcceptedCase{{"--port=/dev/ttyUSB0", "--data", "a b.UPF"},
                     Action::kRun,
                     "/dev/ttyUSB0",
                     "a b.UPF",
                     -1,
                     false},
        AcceptedCase{{"--timeout", "90", "--quiet"}, Action::kRun, "COM1", "", 90000, true},
        // Fractions round up to whole milliseconds, never down to no time at all.
        AcceptedCase{{"--timeout=0.0001"}, Action::kRun, "COM1", "", 1, false},
        AcceptedCase{{"--timeout", "2.5"}, Action::kRun, "COM1", "", 2500, false},
        // The last of a repeated option counts, as a script that appends to defaults expects.
        AcceptedCase{{"--port", "COM2", "--port", "COM1"}, Action::kRun, "COM1", "", -1, false},
        AcceptedCase{{"--list-ports", "--port", "COM2"}, Action::kListPorts, "COM2", "", -1, false},
        AcceptedCase{
            {"--quiet", "--help", "--list-ports"}, Action::kShowHelp, "COM1", "", -1, true},
        AcceptedCase{{"-h"}, Action::kShowHelp, "COM1", "", -1, false},
        AcceptedCase{{"--version"}, Action::kShowVersion, "COM1", "", -1, false}));

// A station serves every port given, in order; a single run takes the last.
TEST(StationCommandLine, TakesEveryPortTheRunsAndJson) {
    const ParsedOptions parsed = Parse({"--port", "/dev/ttyUSB0", "--station", "--port=COM3",
                                        "--runs", "3", "--json", "--timeout", "600"});
    ASSERT_EQ(parsed.action, Action::kRun) << parsed.error;
    EXPECT_TRUE(parsed.options.station);
    EXPECT_EQ(parsed.options.ports, (std::vector<std::string>{"/dev/ttyUSB0", "COM3"}));
    EXPECT_EQ(parsed.options.port, "COM3");
    EXPECT_EQ(parsed.options.runs, 3);
    EXPECT_TRUE(parsed.options.json);
    EXPECT_EQ(parsed.options.timeout->count(), 600000);
}

struct RejectedCase {
    std::vector<std::string_view> args;
    std::string error;  // what the message must say
};

class RejectedCommandLine : public testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedCommandLine, SaysWhatIsWrong) {
    const ParsedOptions parsed = Parse(GetParam().args);
    EXPECT_EQ(parsed.action, Action::kReject);
    EXPECT_NE(parsed.error.find(GetParam().error), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Options, RejectedCommandLine,
    testing::Values(RejectedCase{{"--prot", "COM2"}, "unknown argument \"--prot\""},
                    RejectedCase{{"COM2"}, "unknown argument \"COM2\""},
                    RejectedCase{{"--port"}, "--port needs a value"},
                    RejectedCase{{"--port="}, "--port expects a port"},
                    RejectedCase{{"--data", ""}, "--data expects a file"},
                    RejectedCase{{"--timeout", "soon"}, "--timeout expects a number of seconds"},
                    RejectedCase{{"--timeout", "10s"}, "--timeout expects a number of seconds"},
                    RejectedCase{{"--timeout", "nan"}, "--timeout expects a number of seconds"},
                    RejectedCase{{"--timeout", "inf"}, "--timeout expects a number of seconds"},
                    RejectedCase{{"--timeout", "0"}, "--timeout expects seconds above 0"},
                    RejectedCase{{"--timeout", "-5"}, "--timeout expects seconds above 0"},
                    RejectedCase{{"--timeout", "1e12"}, "--timeout expects seconds above 0"},
                    RejectedCase{{"--quiet=yes"}, "--quiet takes no value"},
                    RejectedCase{{"--station", "--runs", "0"}, "--runs expects a whole number"},
                    RejectedCase{{"--station", "--runs", "2.5"}, "--runs expects a whole number"},
                    // A station's options without --station: the script meant something else.
                    RejectedCase{{"--runs", "3"}, "--runs only applies with --station"},
                    RejectedCase{{"--json"}, "--json only applies with --station"},
                    // A rejected argument wins over help: the script is wrong either way.
                    RejectedCase{{"--help", "--bogus"}, "unknown argument \"--bogus\""}));

}  // namespace

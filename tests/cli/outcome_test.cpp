// The final line and the exit status a script acts on.

#include "cli/outcome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

struct OutcomeCase {
    RunOutcome outcome;
    int status;
    std::string line;
};

class Outcomes : public testing::TestWithParam<OutcomeCase> {};

TEST_P(Outcomes, StatusAndOneLineInEnglishAndJapanese) {
    const OutcomeCase& c = GetParam();
    EXPECT_EQ(ExitStatus(c.outcome), c.status);
    const std::string line = OutcomeLine(c.outcome, {"COM2", c.status == 2 ? "why" : ""});
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, Outcomes,
    testing::Values(
        OutcomeCase{RunOutcome::kSucceeded, 0,
                    "qelpupd-cli: update succeeded. アップデート作業は正常に終了しました。\n"},
        OutcomeCase{RunOutcome::kFailed, 1,
                    "qelpupd-cli: update failed. アップデート作業は正常に終了しませんでした。 "
                    "もう一度やり直してください。\n"},
        OutcomeCase{RunOutcome::kNoDataFile, 2,
                    "qelpupd-cli: no update data file: why. "
                    "アップデート データファイルが存在しません。\n"},
        OutcomeCase{RunOutcome::kPortUnavailable, 2,
                    "qelpupd-cli: COM2 cannot be used: why. COM2は使用できません。 "
                    "Dr.VORMA等のほかのソフトウェアが使用していないかどうか確認してください。\n"},
        OutcomeCase{RunOutcome::kBadCommandLine, 2,
                    "qelpupd-cli: bad command line: why. Try qelpupd-cli --help.\n"},
        OutcomeCase{RunOutcome::kTimedOut, 3,
                    "qelpupd-cli: timed out, update not finished. "
                    "アップデート作業は正常に終了しませんでした。 もう一度やり直してください。\n"},
        OutcomeCase{
            RunOutcome::kInterrupted, 130,
            "qelpupd-cli: interrupted, update not finished. "
            "アップデート作業は正常に終了しませんでした。 もう一度やり直してください。\n"}));

}  // namespace

// What the progress shows, on a terminal and in a log file.

#include "cli/progress_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;

struct FigureCase {
    ProgressFigures figures;
    std::string text;
};

class ProgressText : public testing::TestWithParam<FigureCase> {};

TEST_P(ProgressText, ShowsPercentBytesRateAndTimeLeft) {
    EXPECT_EQ(FormatProgress(GetParam().figures), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Figures, ProgressText,
    testing::Values(
        FigureCase{{0, 28000, milliseconds(0)}, "  0%  0/28000 bytes  -- B/s  --:-- left"},
        // A 19200 baud line: 1920 bytes a second.
        FigureCase{{1920, 28000, milliseconds(1000)},
                   "  6%  1920/28000 bytes  1.9 kB/s  0:14 left"},
        FigureCase{{11800, 28000, milliseconds(5000)},
                   " 42%  11800/28000 bytes  2.4 kB/s  0:07 left"},
        FigureCase{{600, 1000, milliseconds(2000)}, " 60%  600/1000 bytes  300 B/s  0:02 left"},
        FigureCase{{28000, 28000, milliseconds(14583)},
                   "100%  28000/28000 bytes  1.9 kB/s  0:00 left"},
        // Hours show when a large file crawls.
        FigureCase{{100, 4'000'000, milliseconds(1000)},
                   "  0%  100/4000000 bytes  100 B/s  11:06:39 left"},
        // An empty file is done at once.
        FigureCase{{0, 0, milliseconds(5)}, "100%  0/0 bytes  -- B/s  --:-- left"}));

// Feeds 200-byte blocks of a 2000-byte file, one every 100 ms, and collects what is written.
std::vector<std::string> FeedBlocks(ProgressReport::Mode mode, std::uint64_t total,
                                    std::uint64_t stopAt) {
    ProgressReport report(mode);
    std::vector<std::string> written;
    std::uint64_t sent = 0;
    long ms = 0;
    for (; sent <= stopAt; sent += 200, ms += 100) {
        if (auto text = report.Update({sent, total, milliseconds(ms)})) written.push_back(*text);
    }
    written.push_back(report.Finish({stopAt, total, milliseconds(ms)}));
    return written;
}

TEST(ProgressLines, OneLineAtEveryTenPercentAndNoneTwice) {
    const auto written = FeedBlocks(ProgressReport::Mode::kLines, 2000, 2000);
    ASSERT_EQ(written.size(), 11u);  // 10 % .. 100 %, then nothing more to finish
    EXPECT_EQ(written[0], " 10%  200/2000 bytes  2.0 kB/s  0:01 left\n");
    EXPECT_EQ(written[9].substr(0, 4), "100%");
    EXPECT_EQ(written[10], "");
}

TEST(ProgressLines, SmallStepsWaitForTheNextTenPercent) {
    ProgressReport report(ProgressReport::Mode::kLines);
    EXPECT_FALSE(report.Update({0, 10000, milliseconds(0)}));
    EXPECT_FALSE(report.Update({999, 10000, milliseconds(100)}));
    EXPECT_TRUE(report.Update({1000, 10000, milliseconds(200)}));
    EXPECT_FALSE(report.Update({1999, 10000, milliseconds(300)}));
    // A jump over several steps writes one line, not one per step.
    EXPECT_TRUE(report.Update({5000, 10000, milliseconds(400)}));
    EXPECT_FALSE(report.Update({5999, 10000, milliseconds(500)}));
    // A cancelled transfer ends without inventing a line.
    EXPECT_EQ(report.Finish({5999, 10000, milliseconds(500)}), "");
}

TEST(ProgressTerminal, RedrawsOneLineInPlaceAndEndsIt) {
    const auto written = FeedBlocks(ProgressReport::Mode::kTerminal, 2000, 2000);
    for (std::size_t i = 0; i + 1 < written.size(); ++i) {
        EXPECT_EQ(written[i].front(), '\r') << i;
        EXPECT_EQ(written[i].find('\n'), std::string::npos) << i;
        EXPECT_TRUE(written[i].ends_with("\x1b[K")) << i;
    }
    EXPECT_TRUE(written.back().starts_with("\r100%")) << written.back();
    EXPECT_TRUE(written.back().ends_with("\x1b[K\n"));
}

TEST(ProgressTerminal, FastBlocksRedrawOnlyWhenThePercentageChangesOrTimePasses) {
    ProgressReport report(ProgressReport::Mode::kTerminal);
    int drawn = 0;
    // 100,000 bytes in 200-byte blocks within 50 ms: far more blocks than percent steps.
    for (std::uint64_t sent = 0; sent < 100000; sent += 200) {
        if (report.Update({sent, 100000, milliseconds(sent / 2000)})) ++drawn;
    }
    EXPECT_EQ(drawn, 100);
    // Nothing changes but the time: drawn again only after a pause.
    EXPECT_FALSE(report.Update({99800, 100000, milliseconds(60)}));
    EXPECT_TRUE(report.Update({99800, 100000, milliseconds(300)}));
}

TEST(ProgressTerminal, ClearAndRedrawWrapAnotherLine) {
    ProgressReport report(ProgressReport::Mode::kTerminal);
    EXPECT_EQ(report.Clear(), "");  // nothing drawn yet: nothing to take away
    report.Update({200, 2000, milliseconds(100)});
    EXPECT_EQ(report.Clear(), "\r\x1b[K");
    EXPECT_EQ(report.Redraw(), "\r 10%  200/2000 bytes  2.0 kB/s  0:01 left\x1b[K");
    report.Finish({200, 2000, milliseconds(100)});
    EXPECT_EQ(report.Clear(), "");
}

}  // namespace

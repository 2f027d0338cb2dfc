// The progress dialog's arithmetic: percentages of ranges wider than the 16-bit bar, and the scaled
// bar.

#include "dialogs/progress_math.h"

#include <gtest/gtest.h>

namespace {

using namespace dialogs;

struct PercentCase {
    long long position;
    int lower, upper;
    int expected;
};

class PercentOfCases : public testing::TestWithParam<PercentCase> {};

TEST_P(PercentOfCases, TruncatesAndStartsOverAbove100) {
    const PercentCase& c = GetParam();
    EXPECT_EQ(PercentOf(c.position, c.lower, c.upper), c.expected)
        << c.position << " of " << c.lower << ".." << c.upper;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PercentOfCases,
    testing::Values(PercentCase{0, 0, 4, 0}, PercentCase{1, 0, 3, 33}, PercentCase{2, 0, 3, 66},
                    PercentCase{3, 0, 3, 100}, PercentCase{5, 0, 4, 25},
                    PercentCase{8, 0, 4, 0},  // 200 %: starts over, only exactly 100 stays
                    PercentCase{15, 10, 20, 50},
                    // 100 x position passes 2^31 here; the percentage must not overflow.
                    PercentCase{21474836, 0, 21474836, 100},
                    PercentCase{10737417, 0, 21474836, 49}));

TEST(ScaledBar, FitsAndScales) {
    EXPECT_TRUE(FitsBar(0, 65535));
    EXPECT_FALSE(FitsBar(0, 65536));
    EXPECT_FALSE(FitsBar(-1, 10));
    EXPECT_EQ(ScaledBarPosition(0, 0, 70000), 0);
    EXPECT_EQ(ScaledBarPosition(35000, 0, 70000), kScaledBarUpper / 2);
    EXPECT_EQ(ScaledBarPosition(70000, 0, 70000), kScaledBarUpper);
    EXPECT_EQ(ScaledBarPosition(21474836, 0, 21474836), kScaledBarUpper);
}

}  // namespace

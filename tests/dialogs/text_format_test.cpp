// The message formatter: "%1".."%9", the 256-byte buffer and UTF-8 characters at its end.

#include "framework/text_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "res/resources.h"

namespace {

struct FormatCase {
    const char* name;
    std::string pattern;
    std::vector<std::string> args;
    std::string expected;
};

class FormatCases : public testing::TestWithParam<FormatCase> {};

std::string Format(const std::string& pattern, const std::vector<std::string>& a) {
    // FormatText takes an initializer list; the table gives at most three arguments.
    switch (a.size()) {
        case 0:
            return fw::FormatText(pattern, {});
        case 1:
            return fw::FormatText(pattern, {a[0]});
        case 2:
            return fw::FormatText(pattern, {a[0], a[1]});
        default:
            return fw::FormatText(pattern, {a[0], a[1], a[2]});
    }
}

TEST_P(FormatCases, Formats) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(Format(c.pattern, c.args), c.expected);
}

const std::string k254 = std::string(254, 'a');
const std::string k253 = std::string(253, 'a');
const std::string k252 = std::string(252, 'a');

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatCases,
    testing::Values(
        FormatCase{"OneArgument", "%1は使用できません。", {"COM1"}, "COM1は使用できません。"},
        FormatCase{"ArgumentsInAnyOrder", "%2-%1-%2", {"a", "b"}, "b-a-b"},
        FormatCase{"NumberBeyondTheArguments", "%1 %3", {"x", "y"}, "x ?"},
        FormatCase{"NoArgumentsAtAll", "[%1]", {}, "[?]"},
        FormatCase{"HighestPlaceholder", "%9%1", {"a", "b", "c"}, "?a"},
        FormatCase{"OtherPercentSignsCopied", "%0 %a %% 50%", {"x"}, "%0 %a %% 50%"},
        FormatCase{"PercentAtTheEnd", "100%", {"x"}, "100%"},
        FormatCase{"ArgumentNotFormatted", "%1", {"%2"}, "%2"},
        FormatCase{"AfterHalfWidthKatakana", "ｷｬﾝｾﾙ%1", {"!"}, "ｷｬﾝｾﾙ!"},
        // The pattern is cut to 255 bytes, never inside a character.
        FormatCase{"CharacterThatFitsIsKept", k252 + "あ", {}, k252 + "あ"},
        FormatCase{"CharacterAcrossTheEndIsDropped", k253 + "あ", {}, k253},
        FormatCase{"HalfWidthKatakanaAcrossTheEnd", k254 + "ｱ", {}, k254},
        FormatCase{"PlaceholderCutInHalfStaysAPercent", k254 + "%1", {"x"}, k254 + "%"},
        FormatCase{
            "LongArgument", "<%1>", {std::string(300, 'z')}, "<" + std::string(300, 'z') + ">"}),
    [](const testing::TestParamInfo<FormatCase>& p) { return std::string(p.param.name); });

TEST(FormatMessage, FillsTheMessageTextAndIsEmptyForAnUnknownNumber) {
    RegisterResources();
    EXPECT_EQ(fw::FormatMessage(IDS_PORT_UNAVAILABLE, {"COM2"}),
              "COM2は使用できません。\n"
              "Dr.VORMA等のほかのソフトウェアが使用していないかどうか確認してください。");
    EXPECT_EQ(fw::FormatMessage(9999, {"COM2"}), "");
}

}  // namespace

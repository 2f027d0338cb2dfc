#pragma once
// The device's keywords. A keyword matches anywhere in a line, case-sensitive; the rows are tried
// in order and the first match decides.

#include <span>
#include <string_view>

enum class KeywordEffect {
    kDataRequest,  // the device waits for the data file; reading goes on
    kEndFailed,    // the update run ends as failed
    kEnd,          // the update run ends; the result stays as it is
};

struct KeywordRule {
    std::string_view keyword;
    KeywordEffect effect;
};

inline constexpr KeywordRule kKeywordTable[] = {
    {"bootmode=DATAWAIT", KeywordEffect::kDataRequest},
    {"record header", KeywordEffect::kEndFailed},
    {"bootmode=ERROR", KeywordEffect::kEndFailed},
    {"Versionup succeed", KeywordEffect::kEnd},
    {"record end check sum error", KeywordEffect::kEnd},
    {"Warning! application", KeywordEffect::kEnd},
};

// The first row whose keyword occurs in `line`, or nullptr.
inline const KeywordRule* MatchKeyword(std::string_view line) {
    for (const KeywordRule& rule : kKeywordTable)
        if (line.find(rule.keyword) != std::string_view::npos) return &rule;
    return nullptr;
}

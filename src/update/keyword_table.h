#pragma once
// The device's keywords. A keyword matches anywhere in a line, case-sensitive; the rows are tried
// in order and the first match decides.

#include <span>
#include <string_view>

enum class KeywordEffect {
    DataRequest,  // the device waits for the data file; reading goes on
    EndFailed,    // the update run ends as failed
    End,          // the update run ends; the result stays as it is
};

struct KeywordRule {
    std::string_view keyword;
    KeywordEffect effect;
};

inline constexpr KeywordRule kKeywordTable[] = {
    {"bootmode=DATAWAIT", KeywordEffect::DataRequest},
    {"record header", KeywordEffect::EndFailed},
    {"bootmode=ERROR", KeywordEffect::EndFailed},
    {"Versionup succeed", KeywordEffect::End},
    {"record end check sum error", KeywordEffect::End},
    {"Warning! application", KeywordEffect::End},
};

// The first row whose keyword occurs in `line`, or nullptr.
inline const KeywordRule* MatchKeyword(std::string_view line) {
    for (const KeywordRule& rule : kKeywordTable)
        if (line.find(rule.keyword) != std::string_view::npos) return &rule;
    return nullptr;
}

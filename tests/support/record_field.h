#pragma once
// Reads one field of a record line (JSON Lines) the way a test compares it: a string as written
// between its quotes, escapes kept; a number, true, false or null as its text; "<missing>" when the
// line has no such key. The first key of that name counts, so nested names must be unique.

#include <string>

namespace test {

inline std::string RecordField(const std::string& line, const std::string& key) {
    const std::string start = "\"" + key + "\":";
    const auto at = line.find(start);
    if (at == std::string::npos) return "<missing>";
    const auto from = at + start.size();
    if (from >= line.size()) return "<missing>";
    if (line[from] != '"') return line.substr(from, line.find_first_of(",}", from) - from);
    std::string value;
    for (auto i = from + 1; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) value.push_back(line[i++]);
        value.push_back(line[i]);
    }
    return value;
}

}  // namespace test

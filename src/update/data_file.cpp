#include "update/data_file.h"

#include <algorithm>

#include "update/data_file_system.h"

namespace {

// ASCII letters only, so that the order does not change with the locale.
int FoldCase(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// True when `a` comes before `b` in the order ChooseDataFile uses.
bool NameBefore(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const int x = FoldCase(static_cast<unsigned char>(a[i]));
        const int y = FoldCase(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

DataFileChoice ChooseDataFile(const std::string& directory) {
    DataFileChoice choice;
    const std::vector<std::string> names =
        data_file_system::EntriesMatching(directory, DATA_FILE_PATTERN);
    if (names.empty()) return choice;
    const std::string first = *std::min_element(names.begin(), names.end(), NameBefore);
    choice.path = data_file_system::AbsoluteDirectory(directory) + first;
    choice.passedOver = names.size() - 1;
    return choice;
}

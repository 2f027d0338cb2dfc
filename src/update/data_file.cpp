#include "update/data_file.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>
#include <thread>

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

namespace data_file_system {

bool TakeLock(DataFileLock lock, const std::function<bool()>& tryOnce) {
    if (lock == DataFileLock::kExclusive) return tryOnce();
    constexpr auto kPause = std::chrono::milliseconds(10);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kSharedLockHoldMs);
    for (;;) {
        if (tryOnce()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPause);
    }
}

DataFileContents ReadWhole(std::uint64_t length, const ReadSome& read) {
    DataFileContents result;
    // The length travels as 32 bits; a longer file cannot be held or sent whole.
    if (length > std::numeric_limits<std::uint32_t>::max()) {
        result.status = DataFileStatus::kOutOfMemory;
        return result;
    }
    try {
        result.bytes.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        result.status = DataFileStatus::kOutOfMemory;
        return result;
    }
    std::size_t done = 0;
    while (done < result.bytes.size()) {
        const long long n =
            read(result.bytes.data() + done, result.bytes.size() - done, result.error);
        if (n < 0) {
            result.status = DataFileStatus::kReadFailed;
            result.bytes.clear();
            return result;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (done < result.bytes.size()) {
        result.status = DataFileStatus::kShortRead;
        result.bytes.clear();
        return result;
    }
    result.status = DataFileStatus::kOk;
    return result;
}

}  // namespace data_file_system

#pragma once
// The file system side of finding the data file (data_file.h). The build picks the implementation,
// which also holds ReadDataFile: posix_data_file.cpp on Linux, win32_data_file.cpp on Windows.
// Any thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "update/data_file.h"

namespace data_file_system {

// The names of the entries of `directory` that match `pattern` ("*" any run of characters),
// letters matched without regard to case, in no particular order; directories are not left out.
std::vector<std::string> EntriesMatching(const std::string& directory, const char* pattern);
// `directory` made absolute, ending with the system's path separator.
std::string AbsoluteDirectory(const std::string& directory);

// Takes the lock that `lock` names through `tryOnce`, which tries once without waiting and is false
// only when another holder refuses it: the exclusive lock at once, the shared one looked for again
// at short pauses for kSharedLockHoldMs while a holder reads (no system's call waits with a
// time-out). False when it was refused throughout.
bool TakeLock(DataFileLock lock, const std::function<bool()>& tryOnce);

// Reads `length` bytes whole, in as many calls of `read` as it takes: `read` puts up to `count`
// bytes at `into` and returns how many, 0 at the end of the file, or -1 with `error` set. The
// file's status follows from that alone: too long to hold, short, failed, or whole.
using ReadSome = std::function<long long(unsigned char* into, std::size_t count, int& error)>;
DataFileContents ReadWhole(std::uint64_t length, const ReadSome& read);

}  // namespace data_file_system

#pragma once
// The update data file: found by name in a directory, read whole.

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* DATA_FILE_PATTERN = "7118K*.UPF";

// The full path of the first entry of `directory` whose name matches DATA_FILE_PATTERN, letters
// matched without regard to case, in the order the file system lists them. Directories are not
// excluded: they fail later, when the file is opened. Empty when nothing matches.
std::string FindDataFile(const std::string& directory);

enum class DataFileStatus {
    kOk,
    kCannotOpen,   // missing, not a regular file, or held by another program
    kOutOfMemory,  // no room for the whole file
    kShortRead,    // fewer bytes came back than the file's length
    kReadFailed,   // taking the length or reading failed outright
};

struct DataFileContents {
    DataFileStatus status = DataFileStatus::kCannotOpen;
    std::vector<unsigned char> bytes;
    int error = 0;  // errno, for ReadFailed and CannotOpen
};

// Opens the file for reading only and holds an exclusive lock while it reads it whole, so that the
// file cannot be sent while another program holds it: a second update tool's open fails, and so
// does any program that locks the file too.
DataFileContents ReadDataFile(const std::string& path);

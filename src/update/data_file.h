#pragma once
// The update data file: found by name in a directory, read whole.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* DATA_FILE_PATTERN = "7118K*.UPF";

struct DataFileChoice {
    std::string path;            // full path; empty when nothing matches
    std::size_t passedOver = 0;  // the other matching entries, which are not used
};

// Of the entries of `directory` whose names match DATA_FILE_PATTERN (letters matched without regard
// to case), the first by name, letters compared without regard to case and equal names then by
// their bytes: the same folder always gives the same file, whatever order the file system lists
// its entries in. Directories are not excluded: they fail later, when the file is opened.
DataFileChoice ChooseDataFile(const std::string& directory);

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

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
    int error = 0;  // the system's error code (system_error.h), for ReadFailed and CannotOpen
};

// How the file is locked while it is read.
enum class DataFileLock {
    // The window program: nobody else reads the file meanwhile. Another reader that holds a lock
    // refuses the file at once.
    kExclusive,
    // The terminal program: any number of them read the same file at once, as a production line
    // runs one per port. A holder of the exclusive lock (a window program reading) is waited for,
    // briefly: it reads for milliseconds. Still held after kSharedLockHoldMs, the file is refused.
    kShared,
};

inline constexpr int kSharedLockHoldMs = 2000;

// Opens the file for reading only and holds a lock while it reads it whole. Under the exclusive
// lock the file cannot be sent while another program holds it: a second window program's open
// fails, and so does any program that locks the file too.
DataFileContents ReadDataFile(const std::string& path,
                              DataFileLock lock = DataFileLock::kExclusive);

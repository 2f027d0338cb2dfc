#pragma once
// The file system side of finding the data file (data_file.h). The build picks the implementation,
// which also holds ReadDataFile: posix_data_file.cpp on Linux. Any thread.

#include <string>
#include <vector>

namespace data_file_system {

// The names of the entries of `directory` that match `pattern` ("*" any run of characters),
// letters matched without regard to case, in no particular order; directories are not left out.
std::vector<std::string> EntriesMatching(const std::string& directory, const char* pattern);
// `directory` made absolute, ending with the system's path separator.
std::string AbsoluteDirectory(const std::string& directory);

}  // namespace data_file_system

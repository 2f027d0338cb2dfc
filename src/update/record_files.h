#pragma once
// The file system as the update record uses it (update_record.h). The build picks the
// implementation: posix_record_files.cpp on Linux, win32_record_files.cpp on Windows. Error codes
// are the system's own (errno or GetLastError(), system_error.h). No shared state; any thread.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace record_files {

// Where the record lives unless told otherwise; empty when the system names no place.
std::string DefaultDirectory();
// Why DefaultDirectory() is empty, for the operator.
const char* NoDirectoryReason();
// The path separator the system uses.
char Separator();

// Creates `path` and its missing parents, readable by the user only. 0, or the error of the step
// that failed.
int MakeDirectories(const std::string& path);

// A file that takes text at its end.
class AppendFile {
  public:
    AppendFile() = default;
    ~AppendFile() { Close(); }
    AppendFile(AppendFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}
    AppendFile& operator=(AppendFile&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, kClosed);
        }
        return *this;
    }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // A new file of this program's own, readable by the user only, which it may also read back and
    // shorten; `error` says why not (IsExistsError when it exists).
    static AppendFile CreateNew(const std::string& path, int& error);
    // The file, created where it is missing, to append to beside other programs.
    static AppendFile Open(const std::string& path, int& error);

    bool IsOpen() const { return handle_ != kClosed; }
    // All of `text`, in as many writes as it takes; false with `error` when the system refused.
    bool WriteAll(std::string_view text, int& error);
    // `text` in one write, so that appends from two programs never interleave: the bytes the
    // system took, or -1 with `error`.
    long WriteOnce(std::string_view text, int& error);
    // The file's length, or -1 with `error`.
    std::int64_t Size(int& error) const;
    // Cuts the file to `length` bytes; later writes go on from there. False with `error`, also for
    // a file opened by Open, which other programs append to (on Windows it has no right to).
    bool Truncate(std::uint64_t length, int& error);
    // Reads up to `count` bytes at `offset` of a file made by CreateNew: the bytes read, or -1.
    long ReadAt(std::uint64_t offset, char* into, std::size_t count, int& error);
    void Close();

  private:
    static constexpr std::intptr_t kClosed = -1;
    explicit AppendFile(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_ = kClosed;  // a descriptor or a handle, as the system gives them
};

bool IsExistsError(int error);
// The error for a write that the system took only part of: the disk is full.
int NoSpaceError();
// The disk (or the user's quota on it) is full.
bool IsNoSpaceError(int error);

struct FileEntry {
    std::string name;
    std::int64_t modifiedNs = 0;  // last change, nanoseconds since the epoch
};
// The regular files of `directory` whose names start with `prefix` and end with `suffix`; links
// are not followed. Nothing for a directory that cannot be read.
std::vector<FileEntry> ListFiles(const std::string& directory, std::string_view prefix,
                                 std::string_view suffix);
// Another program may have removed it already: no result.
void RemoveFile(const std::string& directory, const std::string& name);

struct LocalTime {
    std::tm fields{};
    int offsetMinutes = 0;  // the zone's offset from UTC at that time
};
LocalTime ToLocalTime(std::time_t seconds);

}  // namespace record_files

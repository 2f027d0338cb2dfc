// The update record's files on POSIX: open(2) with O_APPEND, directories made with mode 0700.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "update/record_files.h"

namespace record_files {

std::string DefaultDirectory() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
        return std::string(state) + "/qelpupd";
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0')
        return std::string(home) + "/.local/state/qelpupd";
    return {};
}

const char* NoDirectoryReason() {
    return "neither XDG_STATE_HOME nor HOME is set";
}

char Separator() {
    return '/';
}

int MakeDirectories(const std::string& path) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        const std::string part = path.substr(0, at);
        if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
        if (at == std::string::npos) break;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

AppendFile AppendFile::CreateNew(const std::string& path, int& error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    error = fd < 0 ? errno : 0;
    return fd < 0 ? AppendFile() : AppendFile(fd);
}

AppendFile AppendFile::Open(const std::string& path, int& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    error = fd < 0 ? errno : 0;
    return fd < 0 ? AppendFile() : AppendFile(fd);
}

bool AppendFile::WriteAll(std::string_view text, int& error) {
    while (!text.empty()) {
        const long n = WriteOnce(text, error);
        if (n < 0 && error == EINTR) continue;
        if (n <= 0) {
            if (n == 0) error = EIO;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

long AppendFile::WriteOnce(std::string_view text, int& error) {
    const ssize_t n = write(static_cast<int>(handle_), text.data(), text.size());
    error = n < 0 ? errno : 0;
    return static_cast<long>(n);
}

std::int64_t AppendFile::Size(int& error) const {
    struct stat info {};
    if (fstat(static_cast<int>(handle_), &info) != 0) {
        error = errno;
        return -1;
    }
    return info.st_size;
}

bool AppendFile::Truncate(std::uint64_t length, int& error) {
    while (ftruncate(static_cast<int>(handle_), static_cast<off_t>(length)) != 0) {
        if (errno == EINTR) continue;
        error = errno;
        return false;
    }
    return true;
}

long AppendFile::ReadAt(std::uint64_t offset, char* into, std::size_t count, int& error) {
    for (;;) {
        const ssize_t n = pread(static_cast<int>(handle_), into, count, static_cast<off_t>(offset));
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

void AppendFile::Close() {
    if (handle_ != kClosed) close(static_cast<int>(handle_));
    handle_ = kClosed;
}

bool IsExistsError(int error) {
    return error == EEXIST;
}

int NoSpaceError() {
    return ENOSPC;
}

bool IsNoSpaceError(int error) {
    return error == ENOSPC || error == EDQUOT;
}

std::vector<FileEntry> ListFiles(const std::string& directory, std::string_view prefix,
                                 std::string_view suffix) {
    std::vector<FileEntry> files;
    DIR* folder = opendir(directory.c_str());
    if (!folder) return files;
    while (const dirent* entry = readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) ||
            !name.ends_with(suffix))
            continue;
        struct stat info {};
        if (fstatat(dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            continue;
        files.push_back({std::string(name),
                         std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec});
    }
    closedir(folder);
    return files;
}

void RemoveFile(const std::string& directory, const std::string& name) {
    (void)unlink((directory + "/" + name).c_str());
}

LocalTime ToLocalTime(std::time_t seconds) {
    LocalTime local;
    localtime_r(&seconds, &local.fields);
    local.offsetMinutes = static_cast<int>(local.fields.tm_gmtoff / 60);
    return local;
}

}  // namespace record_files

// The data file on POSIX: fnmatch over the directory's entries, flock while it is read.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "update/data_file.h"
#include "update/data_file_system.h"

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

namespace data_file_system {

std::vector<std::string> EntriesMatching(const std::string& directory, const char* pattern) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(opendir(directory.c_str()));
    if (!dir) return names;
    while (dirent* entry = readdir(dir.get()))
        if (fnmatch(pattern, entry->d_name, FNM_CASEFOLD) == 0) names.emplace_back(entry->d_name);
    return names;
}

std::string AbsoluteDirectory(const std::string& directory) {
    std::unique_ptr<char, decltype(&free)> resolved(realpath(directory.c_str(), nullptr), &free);
    std::string base = resolved ? std::string(resolved.get()) : directory;
    if (base.empty() || base.back() != '/') base += '/';
    return base;
}

}  // namespace data_file_system

DataFileContents ReadDataFile(const std::string& path, DataFileLock lock) {
    DataFileContents result;
    // O_NONBLOCK: a FIFO or a terminal that matched the pattern must not hang the window; it is
    // refused below as not a regular file.
    FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (file.get() < 0) {
        result.error = errno;
        return result;
    }
    // Only a lock that another program holds refuses the file. Where the file system cannot lock
    // a read-only descriptor (NFS emulates flock with write locks), it is read without one.
    const int operation = lock == DataFileLock::kExclusive ? LOCK_EX : LOCK_SH;
    if (!data_file_system::TakeLock(lock, [&] {
            return flock(file.get(), operation | LOCK_NB) == 0 || errno != EWOULDBLOCK;
        })) {
        result.error = EWOULDBLOCK;
        return result;
    }
    if (fstat(file.get(), &info) != 0) {
        result.error = errno;
        result.status = DataFileStatus::kReadFailed;
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return result;
    }
    return data_file_system::ReadWhole(
        static_cast<std::uint64_t>(info.st_size),
        [&file](unsigned char* into, std::size_t count, int& error) -> long long {
            for (;;) {
                const ssize_t n = read(file.get(), into, count);
                if (n >= 0) return n;
                if (errno != EINTR) {
                    error = errno;
                    return -1;
                }
            }
        });
}

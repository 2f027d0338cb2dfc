// The data file on Windows: the folder's entries from FindFirstFileExW, matched here by name (the
// system's own matching would also take 8.3 short names), and LockFileEx while the file is read.
#include <algorithm>

#include "update/data_file.h"
#include "update/data_file_system.h"
// After the project's headers:
#include "serial/win32_api.h"

namespace {

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// "*" matches any run of characters, everything else itself; ASCII letters without regard to case.
bool Matches(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') {
        for (const char* rest = name;; ++rest) {
            if (Matches(pattern + 1, rest)) return true;
            if (*rest == '\0') return false;
        }
    }
    return *name != '\0' && FoldCase(*pattern) == FoldCase(*name) && Matches(pattern + 1, name + 1);
}

}  // namespace

namespace data_file_system {

std::vector<std::string> EntriesMatching(const std::string& directory, const char* pattern) {
    std::vector<std::string> names;
    std::wstring query = WideFromUtf8(directory);
    if (!query.empty() && query.back() != L'\\' && query.back() != L'/') query += L'\\';
    query += L'*';
    WIN32_FIND_DATAW entry{};
    const HANDLE search =
        FindFirstFileExW(query.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = Utf8FromWide(entry.cFileName);
        if (Matches(pattern, name.c_str())) names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

std::string AbsoluteDirectory(const std::string& directory) {
    const std::wstring wide = WideFromUtf8(directory.empty() ? "." : directory);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            full = wide;
            break;
        }
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length);
    }
    std::string base = Utf8FromWide(full);
    if (base.empty() || (base.back() != '\\' && base.back() != '/')) base += '\\';
    return base;
}

}  // namespace data_file_system

DataFileContents ReadDataFile(const std::string& path, DataFileLock lock) {
    DataFileContents result;
    // Others may read, replace or remove the file meanwhile, as on Linux: only the lock refuses.
    Handle file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        result.error = static_cast<int>(GetLastError());
        return result;
    }
    // A pipe or a device that matched the name is no data file, and must not hang the window.
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        result.error = ERROR_INVALID_FUNCTION;
        return result;
    }
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY |
                        (lock == DataFileLock::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (!data_file_system::TakeLock(lock, [&] {
            OVERLAPPED whole{};  // from offset 0, as far as a file can reach
            return LockFileEx(file.get(), flags, 0, MAXDWORD, MAXDWORD, &whole) != 0 ||
                   GetLastError() != ERROR_LOCK_VIOLATION;
        })) {
        result.error = ERROR_LOCK_VIOLATION;
        return result;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        result.error = static_cast<int>(GetLastError());
        result.status = DataFileStatus::kReadFailed;
        return result;
    }
    return data_file_system::ReadWhole(
        static_cast<std::uint64_t>(size.QuadPart),
        [&file](unsigned char* into, std::size_t count, int& error) -> long long {
            DWORD n = 0;
            const auto ask = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
            if (ReadFile(file.get(), into, ask, &n, nullptr)) return n;
            error = static_cast<int>(GetLastError());
            return -1;
        });
}

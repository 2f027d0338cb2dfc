// The update record's files on Windows: under %LOCALAPPDATA%, which is the user's own; appends
// with FILE_APPEND_DATA, which the system keeps whole, as O_APPEND on Linux.
#include <algorithm>
#include <ctime>

#include "update/record_files.h"
// After the project's headers:
#include "serial/win32_api.h"

namespace {

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t OpenForAppend(const std::string& path, DWORD access, DWORD disposition, int& error) {
    // Others may read the record while it grows, and prune it.
    const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    error = file == INVALID_HANDLE_VALUE ? static_cast<int>(GetLastError()) : 0;
    return reinterpret_cast<std::intptr_t>(file);
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

namespace record_files {

std::string DefaultDirectory() {
    const wchar_t* name = L"LOCALAPPDATA";
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size <= 1) return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value.empty() ? std::string() : Utf8FromWide(value) + "\\QelpUpd";
}

const char* NoDirectoryReason() {
    return "LOCALAPPDATA is not set";
}

char Separator() {
    return '\\';
}

int MakeDirectories(const std::string& path) {
    // A drive ("C:") or a share ("\\server") on the way refuses to be made; only the last
    // error counts, should the folder not be there in the end.
    int lastError = 0;
    for (std::size_t at = path.find_first_of("\\/", 1);; at = path.find_first_of("\\/", at + 1)) {
        const std::string part = path.substr(0, at);
        if (!part.empty() && !IsSeparator(part.back()) &&
            !CreateDirectoryW(WideFromUtf8(part).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            lastError = static_cast<int>(GetLastError());
        }
        if (at == std::string::npos) break;
    }
    const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError != 0 ? lastError : static_cast<int>(GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ERROR_DIRECTORY;
}

// A file of the program's own: its writes go where the file pointer stands, which is its end, since
// nobody else writes to it and Truncate leaves the pointer at the new end.
AppendFile AppendFile::CreateNew(const std::string& path, int& error) {
    const std::intptr_t handle =
        OpenForAppend(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, error);
    return error != 0 ? AppendFile() : AppendFile(handle);
}

// Append rights alone: every write goes to the end, whoever else appends meanwhile.
AppendFile AppendFile::Open(const std::string& path, int& error) {
    const std::intptr_t handle =
        OpenForAppend(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, OPEN_ALWAYS, error);
    return error != 0 ? AppendFile() : AppendFile(handle);
}

bool AppendFile::WriteAll(std::string_view text, int& error) {
    while (!text.empty()) {
        const long n = WriteOnce(text, error);
        if (n <= 0) {
            if (n == 0) error = ERROR_WRITE_FAULT;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

long AppendFile::WriteOnce(std::string_view text, int& error) {
    DWORD written = 0;
    const auto size = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 30));
    if (!WriteFile(AsHandle(handle_), text.data(), size, &written, nullptr)) {
        error = static_cast<int>(GetLastError());
        return -1;
    }
    error = 0;
    return static_cast<long>(written);
}

std::int64_t AppendFile::Size(int& error) const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(AsHandle(handle_), &size)) {
        error = static_cast<int>(GetLastError());
        return -1;
    }
    return size.QuadPart;
}

bool AppendFile::Truncate(std::uint64_t length, int& error) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(AsHandle(handle_), at, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(AsHandle(handle_))) {
        error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

long AppendFile::ReadAt(std::uint64_t offset, char* into, std::size_t count, int& error) {
    // An offset given with a synchronous handle moves its file pointer too: put it back at the end.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const auto size = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    const bool ok = ReadFile(AsHandle(handle_), into, size, &read, &at) != 0 ||
                    GetLastError() == ERROR_HANDLE_EOF;
    if (!ok) error = static_cast<int>(GetLastError());
    LARGE_INTEGER none{};
    SetFilePointerEx(AsHandle(handle_), none, nullptr, FILE_END);
    return ok ? static_cast<long>(read) : -1;
}

void AppendFile::Close() {
    if (handle_ != kClosed) CloseHandle(AsHandle(handle_));
    handle_ = kClosed;
}

bool IsExistsError(int error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

int NoSpaceError() {
    return ERROR_DISK_FULL;
}

bool IsNoSpaceError(int error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

std::vector<FileEntry> ListFiles(const std::string& directory, std::string_view prefix,
                                 std::string_view suffix) {
    std::vector<FileEntry> files;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileExW(WideFromUtf8(directory + "\\*").c_str(), FindExInfoBasic,
                                           &entry, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return files;
    // FILETIME counts 100 ns from 1601; the epoch is 11,644,473,600 s later.
    constexpr std::int64_t kEpochIn100ns = 116'444'736'000'000'000;
    do {
        const std::string name = Utf8FromWide(entry.cFileName);
        // Links (reparse points) are not followed, as on Linux.
        if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                       FILE_ATTRIBUTE_DEVICE)) != 0 ||
            name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) ||
            !name.ends_with(suffix))
            continue;
        const std::int64_t ticks = (std::int64_t{entry.ftLastWriteTime.dwHighDateTime} << 32) |
                                   entry.ftLastWriteTime.dwLowDateTime;
        files.push_back({name, (ticks - kEpochIn100ns) * 100});
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return files;
}

void RemoveFile(const std::string& directory, const std::string& name) {
    (void)DeleteFileW(WideFromUtf8(directory + "\\" + name).c_str());
}

LocalTime ToLocalTime(std::time_t seconds) {
    LocalTime local;
    localtime_s(&local.fields, &seconds);
    // The local fields read as UTC, less the time itself: the zone's offset then, summer time in.
    std::tm asUtc = local.fields;
    local.offsetMinutes = static_cast<int>((_mkgmtime(&asUtc) - seconds) / 60);
    return local;
}

}  // namespace record_files

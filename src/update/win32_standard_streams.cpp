// Standard output and error on Windows. A console takes the text as UTF-16 (WriteConsoleW), so
// that Japanese shows whatever the console's code page; a pipe or a file takes the UTF-8 bytes.
//
// A window program has no console of its own, and its standard handles are those it was given:
// a file or a pipe where its output was redirected, else none. Without one, the text goes to the
// console of the process that started it (a command prompt), attached for that one write: a
// program that stayed attached would get that console's Ctrl+C and close events, which the
// operator means for the prompt, not for an update running in a window.
#include <cerrno>
#include <mutex>

#include "update/standard_streams.h"
// After the project's headers:
#include "serial/win32_api.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

HANDLE StandardHandle(int fd) {
    return GetStdHandle(fd == kStandardError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

bool Usable(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    SetLastError(NO_ERROR);
    return GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

bool WriteTo(HANDLE handle, std::string_view text) {
    if (IsConsole(handle)) {
        const std::wstring wide = WideFromUtf8(text);
        std::wstring_view rest = wide;
        while (!rest.empty()) {
            DWORD written = 0;
            if (!WriteConsoleW(handle, rest.data(), static_cast<DWORD>(rest.size()), &written,
                               nullptr) ||
                written == 0) {
                errno = EIO;
                return false;
            }
            rest.remove_prefix(written);
        }
        return true;
    }
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written == 0) {
            errno = GetLastError() == ERROR_NO_DATA ? EPIPE : EIO;
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

// The write of a program without a console or standard handle of its own.
bool WriteToStartingConsole(std::string_view text) {
    static std::mutex attaching;
    std::lock_guard lock(attaching);
    // Attaching may hand the process standard handles of that console, which go with it.
    const HANDLE saved[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                            GetStdHandle(STD_ERROR_HANDLE)};
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        errno = EBADF;
        return false;
    }
    const HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    bool written = false;
    if (console != INVALID_HANDLE_VALUE) {
        written = WriteTo(console, text);
        CloseHandle(console);
    } else {
        errno = EBADF;
    }
    FreeConsole();
    SetStdHandle(STD_INPUT_HANDLE, saved[0]);
    SetStdHandle(STD_OUTPUT_HANDLE, saved[1]);
    SetStdHandle(STD_ERROR_HANDLE, saved[2]);
    return written;
}

}  // namespace

bool WriteAll(int fd, std::string_view text) {
    const HANDLE handle = StandardHandle(fd);
    return Usable(handle) ? WriteTo(handle, text) : WriteToStartingConsole(text);
}

// Only a console that takes the redrawing sequences ("\r\x1b[K") counts: Windows 10 and later,
// where they must be switched on first.
bool IsTerminal(int fd) {
    const HANDLE handle = StandardHandle(fd);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalColumns(int fd) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(StandardHandle(fd), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

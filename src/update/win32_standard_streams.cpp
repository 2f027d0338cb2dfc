// Standard output and error on Windows. A console takes the text as UTF-16 (WriteConsoleW), so
// that Japanese shows whatever the console's code page; a pipe or a file takes the UTF-8 bytes.
#include <cerrno>

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

}  // namespace

bool WriteAll(int fd, std::string_view text) {
    const HANDLE handle = StandardHandle(fd);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return false;
    }
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

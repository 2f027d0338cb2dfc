// wine_end_session: ends the session for one program under Wine as Windows does once the user
// chose to shut down although a program asked to wait ("Shut down anyway"): every top-level window
// of the program gets WM_ENDSESSION with wParam TRUE, each answer is waited for, and a program that
// is still there afterwards is ended. Wine's own `wineboot --end-session` stops at the first
// program that asks to wait, with or without --force, so the end-to-end tests use this for the
// forced end.
//
//   wine_end_session.exe PROGRAM.EXE
//
// Prints one line per window ("ended <title>: answered" or "no answer"), then "returned <time>",
// the local time as the last answer came, in the record's form (2026-12-08T22:30:08.123), and
// "terminated" when it had to end the process. Exit status 0 when it found the program, 1 when
// not, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Found {
    std::wstring program;
    DWORD process = 0;
    std::vector<HWND> windows;
};

std::wstring ImageName(DWORD process) {
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (handle == nullptr) return {};
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    std::wstring name;
    if (QueryFullProcessImageNameW(handle, 0, path, &length)) {
        name.assign(path, length);
        name = name.substr(name.find_last_of(L"\\/") + 1);
    }
    CloseHandle(handle);
    return name;
}

BOOL CALLBACK NoteWindow(HWND window, LPARAM data) {
    auto& found = *reinterpret_cast<Found*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (found.process == 0 && _wcsicmp(ImageName(process).c_str(), found.program.c_str()) == 0)
        found.process = process;
    if (process == found.process) found.windows.push_back(window);
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: wine_end_session PROGRAM.EXE\n", stderr);
        return 2;
    }
    Found found{argv[1], 0, {}};
    EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&found));
    if (found.process == 0) {
        std::fwprintf(stderr, L"no top-level window of %ls\n", argv[1]);
        return 1;
    }
    for (HWND window : found.windows) {
        wchar_t title[128] = L"";
        GetWindowTextW(window, title, 128);
        DWORD_PTR answer = 0;
        // Far longer than any block takes to go out: the program's own bound is what is tested.
        const bool answered =
            SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 60000, &answer) != 0;
        std::wprintf(L"ended %ls: %ls\n", title, answered ? L"answered" : L"no answer");
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::printf("returned %04u-%02u-%02uT%02u:%02u:%02u.%03u\n", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, found.process);
    if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 0);
        std::puts("terminated");
    }
    if (process != nullptr) CloseHandle(process);
    return 0;
}

// qelpupd.exe is a window program: it has no console of its own, and its standard handles are
// only those it was given. What it prints (--list-ports, its diagnostics) reaches the console of
// the process that started it, and a pipe or file where its output was redirected. Under Wine,
// with the real program; this test plays the command prompt.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "serial/win32_api.h"

namespace {

// Runs the window program with `arguments` and waits for it; its exit status, or -1.
int RunWindowProgram(const std::wstring& arguments, STARTUPINFOW& start, bool inherit) {
    std::wstring commandLine = L"\"" + WideFromUtf8(QELPUPD_WINDOW_PROGRAM) + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inherit ? TRUE : FALSE, 0,
                        nullptr, nullptr, &start, &process))
        return -1;
    CloseHandle(process.hThread);
    DWORD status = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &status);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

TEST(WindowProgramOutput, ReachesTheConsoleOfTheProcessThatStartedIt) {
    // A console of this process's own, as a command prompt has; its standard handles stay those
    // of the test.
    const HANDLE saved[] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                            GetStdHandle(STD_ERROR_HANDLE)};
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    STARTUPINFOW start{};
    start.cb = sizeof start;
    const int status = RunWindowProgram(L"--list-ports", start, false);

    const HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    std::wstring shown;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(screen, &info)) {
        shown.resize(static_cast<std::size_t>(info.dwSize.X) * (info.dwCursorPosition.Y + 1));
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, shown.data(), static_cast<DWORD>(shown.size()), {0, 0},
                                    &read);
        shown.resize(read);
    }
    if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
    FreeConsole();
    SetStdHandle(STD_INPUT_HANDLE, saved[0]);
    SetStdHandle(STD_OUTPUT_HANDLE, saved[1]);
    SetStdHandle(STD_ERROR_HANDLE, saved[2]);

    EXPECT_EQ(status, 0);
    EXPECT_NE(shown.find(L"COM1: "), std::wstring::npos) << Utf8FromWide(shown);
    EXPECT_NE(shown.find(L"\u2014"), std::wstring::npos) << "as text, whatever the code page";
}

TEST(WindowProgramOutput, GoesToThePipeItWasGiven) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = writeEnd;
    start.hStdError = writeEnd;
    const int status = RunWindowProgram(L"--list-ports", start, true);
    CloseHandle(writeEnd);
    std::string output;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &read, nullptr) && read > 0)
        output.append(chunk, read);
    CloseHandle(readEnd);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(output.rfind("COM1: ", 0), 0u) << output;
    EXPECT_NE(output.find("\u2014"), std::string::npos) << "UTF-8 for a pipe";
}

}  // namespace

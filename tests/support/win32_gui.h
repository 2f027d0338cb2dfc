#pragma once
// Driving the framework's Win32 windows in tests, as an operator would: keys go to the focused
// control through the thread's queue (so the dialog manager takes them as from the keyboard), and
// steps run inside whichever modal loop is running. UI thread only. Include after the project's
// headers (it brings <windows.h>).

#include <chrono>
#include <cwchar>
#include <functional>
#include <utility>

#include "framework/message_pump.h"
// After the project's headers:
#include "framework/win32/windows_api.h"

namespace test {

// Serves the UI thread's messages until `done` holds or `timeout` passes; sleeps between rounds
// until a message comes.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        fw::PumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

struct OwnWindowSearch {
    const wchar_t* className;
    const wchar_t* title;
    HWND found = nullptr;
};

inline BOOL CALLBACK NoteOwnWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<OwnWindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
        std::wcscmp(name, search.className) != 0 || std::wcscmp(text, search.title) != 0)
        return TRUE;
    search.found = window;
    return FALSE;
}

// A visible top-level window of this process with that class and title: tests of other processes
// share the display, and their boxes are "#32770" too. nullptr when none.
inline HWND FindOwnWindow(const wchar_t* className, const wchar_t* title) {
    OwnWindowSearch search{className, title};
    EnumWindows(NoteOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A key pressed and let go while `window` (or the control in it that has the focus) has the
// keyboard.
inline void PressKey(HWND window, UINT key) {
    HWND focus = GetFocus();
    HWND target = focus && (focus == window || IsChild(window, focus)) ? focus : window;
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// Runs `step` once, `after` from now, in whichever loop of the UI thread runs then (a modal run's
// included). One at a time.
class Soon {
  public:
    Soon(std::chrono::milliseconds after, std::function<void()> step) {
        Pending() = std::move(step);
        timer_ = SetTimer(nullptr, 0, static_cast<UINT>(after.count()), Run);
    }
    ~Soon() {
        KillTimer(nullptr, timer_);
        Pending() = nullptr;
    }
    Soon(const Soon&) = delete;
    Soon& operator=(const Soon&) = delete;

  private:
    static std::function<void()>& Pending() {
        static std::function<void()> pending;
        return pending;
    }
    static void CALLBACK Run(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        if (auto step = std::exchange(Pending(), nullptr)) step();
    }
    UINT_PTR timer_ = 0;
};

}  // namespace test

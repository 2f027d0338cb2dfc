// The UI thread's queue on Win32: calls from other threads wait in a list, and a message-only
// window is woken to run them. A message-only window gets its posted messages in every loop of the
// thread - the system's own (message boxes, menus, moving a window) included - where messages
// posted to the thread itself would be lost.
#include <deque>
#include <functional>
#include <mutex>

#include "framework/ui_thread.h"
#include "framework/window.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {
namespace {

constexpr UINT kRunCalls = WM_APP + 1;
constexpr wchar_t kQueueClass[] = L"QelpUpdUiQueue";

struct Queue {
    std::mutex mutex;
    DWORD uiThread = 0;
    HWND window = nullptr;
    std::deque<std::function<void()>> calls;
};

Queue& TheQueue() {
    static Queue queue;
    return queue;
}

LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunCalls) {
        win32::RunQueuedCalls();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool OnUiThread() {
    Queue& queue = TheQueue();
    std::lock_guard lock(queue.mutex);
    return queue.uiThread != 0 && queue.uiThread == GetCurrentThreadId();
}

bool detail::QueueOnUiThread(std::function<void()> call) {
    Queue& queue = TheQueue();
    {
        std::lock_guard lock(queue.mutex);
        if (!queue.window) return false;
        queue.calls.push_back(std::move(call));
    }
    PostMessageW(queue.window, kRunCalls, 0, 0);
    return true;
}

namespace win32 {

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

void AdoptUiThread() {
    Queue& queue = TheQueue();
    {
        std::lock_guard lock(queue.mutex);
        if (queue.uiThread != 0) return;
        queue.uiThread = GetCurrentThreadId();
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = QueueProc;
    windowClass.hInstance = Instance();
    windowClass.lpszClassName = kQueueClass;
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, kQueueClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  Instance(), nullptr);
    std::lock_guard lock(queue.mutex);
    queue.window = window;
}

void RunQueuedCalls() {
    Queue& queue = TheQueue();
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(queue.mutex);
            if (queue.calls.empty()) return;
            call = std::move(queue.calls.front());
            queue.calls.pop_front();
        }
        call();
    }
}

void DropQueuedCalls() {
    Queue& queue = TheQueue();
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(queue.mutex);
        dropped.swap(queue.calls);
        if (queue.window) DestroyWindow(queue.window);
        queue.window = nullptr;
    }
    // Destroyed outside the lock: a dropped send releases its sender as it goes.
}

}  // namespace win32
}  // namespace fw

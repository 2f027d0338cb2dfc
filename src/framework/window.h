#pragma once
// Windows, their handles, and messages between threads.
//
// Every window lives on the UI thread (the thread that runs the toolkit's event loop). Other
// threads reach a window only through its WindowHandle: PostMessage queues a message for the UI
// thread and returns at once; SendMessage and SendCall run on the UI thread while the caller waits.
// Once the window is gone, all three return at once and do nothing - also for a send that was
// already waiting when the window went, so that a UI thread which destroys a window and then joins
// a worker never deadlocks.

#include <functional>
#include <memory>
#include <string>

#include "framework/message_map.h"
#include "framework/native_window.h"
#include "framework/win_types.h"

namespace fw {

class Window;
namespace detail {
class WindowLink;
}

// A copyable reference to a window that stays safe to use, from any thread, after the window is
// gone.
class WindowHandle {
  public:
    WindowHandle() = default;
    bool IsAlive() const;  // any thread; the answer may be stale a moment later
    // UI thread only: the window, or nullptr once it is gone.
    Window* Get() const;
    explicit operator bool() const { return IsAlive(); }
    friend bool operator==(const WindowHandle& a, const WindowHandle& b) {
        return a.link_ == b.link_;
    }

  private:
    friend class Window;
    explicit WindowHandle(std::shared_ptr<detail::WindowLink> link) : link_(std::move(link)) {}
    std::shared_ptr<detail::WindowLink> link_;
    friend bool PostMessage(const WindowHandle&, UINT, WPARAM, LPARAM);
    friend LRESULT SendCall(const WindowHandle&, std::function<LRESULT(Window&)>);
};

class Window : public CommandTarget {
  public:
    Window();
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    WindowHandle Handle() const;
    // The toolkit's window; null before it exists and after it is gone.
    NativeWindow Widget() const { return widget_; }
    bool IsWindow() const { return widget_ != nullptr; }

    // UI thread. Handles one message; the base answers WM_GETTEXTLENGTH and ignores the rest.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return WindowProc(message, wParam, lParam);
    }

    virtual void SetWindowText(const std::string& text);
    virtual std::string GetWindowText() const;
    void EnableWindow(bool enable);
    bool IsWindowEnabled() const;
    // The text shown when the pointer rests on the window, and the description a screen reader
    // gives after its name.
    void SetToolTip(const std::string& text);
    void SetAccessibleDescription(const std::string& text);

  protected:
    // Binds this object to its toolkit window; the window's destruction ends the binding.
    void Attach(NativeWindow widget);
    // Ends the binding: handles go dead and waiting sends are released.
    void Detach();

  private:
    NativeWindow widget_ = nullptr;
    std::shared_ptr<detail::WindowLink> link_;
};

// Queue a message for the window's thread. False when the window is gone.
bool PostMessage(const WindowHandle& window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// Run `call` on the UI thread with the window and wait for it. Called on the UI thread, it runs at
// once. Returns the call's result, or 0 when the window is gone (before or while waiting).
LRESULT SendCall(const WindowHandle& window, std::function<LRESULT(Window&)> call);

// SendCall of one message.
LRESULT SendMessage(const WindowHandle& window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

// True on the UI thread.
bool OnUiThread();

}  // namespace fw

#pragma once
// Disabling a window on behalf of the windows above it.
//
// A modal run disables its owner while it runs, and so does a progress dialog while it lives. These
// nest and end in any order - a progress dialog opened under the version dialog may outlive it - so
// each holds a WindowDisable on the owner's top-level window: the window stays disabled while any
// of them is held and is enabled again only when the last one goes, and then only if it was enabled
// when the first one came. A disabled window takes no keys, clicks or close requests.
//
// UI thread only. The window may be destroyed first; a WindowDisable then lets go of nothing.

#include <memory>

namespace fw {

class Window;

class WindowDisable {
  public:
    WindowDisable();
    // Disables the top-level window that `window` sits in; holds nothing for a null window or one
    // that does not exist yet.
    explicit WindowDisable(Window* window);
    ~WindowDisable();
    WindowDisable(const WindowDisable&) = delete;
    WindowDisable& operator=(const WindowDisable&) = delete;
    WindowDisable(WindowDisable&& other) noexcept;
    WindowDisable& operator=(WindowDisable&& other) noexcept;

    // Lets go now; the window is enabled again if this was the last hold on it.
    void Release();
    bool Holds() const { return hold_ != nullptr; }

  private:
    struct Hold;  // the toolkit's window, followed until it goes
    std::unique_ptr<Hold> hold_;
};

}  // namespace fw

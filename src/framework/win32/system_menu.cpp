// The system menu on Win32 is the window's own, in its title bar (Alt+Space, a click on the icon);
// the framework appends to it, and a chosen item reaches the dialog as WM_SYSCOMMAND.
#include "framework/system_menu.h"

#include "framework/window.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {

SystemMenu::SystemMenu(Window& owner, NativeWindow parentWidget)
    : owner_(owner), menu_(GetSystemMenu(parentWidget, FALSE)) {}

SystemMenu::~SystemMenu() = default;  // the menu belongs to the window

void SystemMenu::AppendSeparator() {
    if (menu_) AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
}

void SystemMenu::AppendItem(UINT command, const std::string& text) {
    if (menu_) AppendMenuW(menu_, MF_STRING, command, WideFromUtf8(text).c_str());
}

void SystemMenu::Popup(int x, int y) {
    HWND window = owner_.Widget();
    if (!menu_ || !window) return;
    const UINT command = static_cast<UINT>(
        TrackPopupMenu(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, window, nullptr));
    if (command != 0) PostMessageW(window, WM_SYSCOMMAND, command, 0);
}

}  // namespace fw

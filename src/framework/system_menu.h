#pragma once
// A dialog's own system menu. Linux window managers keep their window menus to themselves, so each
// dialog that has one offers it: Alt+Space whichever control has the focus, a right click on the
// dialog outside its controls, and below the edit commands of an edit control's context menu.
// It holds Close and whatever the program appends; a chosen item reaches the dialog as
// WM_SYSCOMMAND, from whichever menu it was chosen.

#include <string>

#include "framework/native_window.h"
#include "framework/win_types.h"

namespace fw {

class Window;

class SystemMenu {
  public:
    SystemMenu(Window& owner, NativeWindow parentWidget);
    ~SystemMenu();
    SystemMenu(const SystemMenu&) = delete;
    SystemMenu& operator=(const SystemMenu&) = delete;

    void AppendSeparator();
    // `text` may mark its mnemonic with '&'.
    void AppendItem(UINT command, const std::string& text);
    // Opens the menu at a position on the screen without blocking.
    void Popup(int x, int y);
    NativeMenu Menu() const { return menu_; }

  private:
    Window& owner_;
    NativeMenu menu_;
};

}  // namespace fw

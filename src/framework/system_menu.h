#pragma once
// A dialog's own system menu. Linux window managers keep their window menus to themselves, so each
// dialog that has one offers it: Alt+Space whichever control has the focus, a right click on the
// dialog outside its controls, and below the edit commands of an edit control's context menu.
// It holds Close and whatever the program appends; a chosen item reaches the dialog as
// WM_SYSCOMMAND, from whichever menu it was chosen.

#include <QPoint>
#include <string>

#include "framework/win_types.h"

class QMenu;
class QWidget;

namespace fw {

class Window;

class SystemMenu {
  public:
    SystemMenu(Window& owner, QWidget* parentWidget);
    ~SystemMenu();
    SystemMenu(const SystemMenu&) = delete;
    SystemMenu& operator=(const SystemMenu&) = delete;

    void AppendSeparator();
    // `text` may mark its mnemonic with '&'.
    void AppendItem(UINT command, const std::string& text);
    // Opens the menu at a global position without blocking.
    void Popup(QPoint globalPosition);
    QMenu* Menu() const { return menu_; }

  private:
    Window& owner_;
    QMenu* menu_;
};

}  // namespace fw

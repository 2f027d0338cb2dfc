#include "framework/system_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

#include "framework/window.h"

namespace fw {

SystemMenu::SystemMenu(Window& owner, NativeWindow parentWidget)
    : owner_(owner), menu_(new QMenu(parentWidget)) {
    menu_->setAccessibleName(QStringLiteral("System menu"));
    AppendItem(SC_CLOSE, "閉じる(&C)");
    menu_->actions().back()->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    menu_->actions().back()->setShortcutContext(Qt::WidgetShortcut);
}

SystemMenu::~SystemMenu() = default;  // the menu is a child of the dialog's widget

void SystemMenu::AppendSeparator() {
    menu_->addSeparator();
}

void SystemMenu::AppendItem(UINT command, const std::string& text) {
    QAction* action = menu_->addAction(QString::fromStdString(text));
    Window* owner = &owner_;
    QObject::connect(action, &QAction::triggered, menu_,
                     [owner, command] { owner->WindowProc(WM_SYSCOMMAND, command, 0); });
}

void SystemMenu::Popup(int x, int y) {
    menu_->popup(QPoint(x, y));
}

}  // namespace fw

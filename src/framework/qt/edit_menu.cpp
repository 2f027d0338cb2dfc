#include "framework/qt/edit_menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>

#include "framework/system_menu.h"

namespace fw {
namespace {

QString WithShortcut(const char* text, QKeySequence::StandardKey key) {
    return QString::fromUtf8(text) + QLatin1Char('\t') +
           QKeySequence(key).toString(QKeySequence::NativeText);
}

void ShowMenu(QPlainTextEdit* edit, const QList<QAction*>& systemItems, QPoint position) {
    // Qt's own menu keeps its actions' state (Copy only with a selection); of it, only what a
    // read-only log can do stays, in the interface's language.
    QMenu* menu = edit->createStandardContextMenu(position);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QLatin1String("edit-copy"))
            action->setText(WithShortcut("コピー(&C)", QKeySequence::Copy));
        else if (action->objectName() == QLatin1String("select-all"))
            // No mnemonic: A belongs to the version item below.
            action->setText(WithShortcut("すべて選択", QKeySequence::SelectAll));
        else
            menu->removeAction(action);
    }
    menu->addSeparator();
    menu->addActions(systemItems);
    menu->popup(edit->viewport()->mapToGlobal(position));
}

}  // namespace

void OfferSystemMenuInContextMenu(QPlainTextEdit* edit, SystemMenu& systemMenu) {
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    // The items are read when the menu opens, so that those appended later are offered too.
    QPointer<QMenu> source = systemMenu.Menu();
    QObject::connect(edit, &QWidget::customContextMenuRequested, edit,
                     [edit, source](QPoint position) {
                         if (source && edit->isEnabled())
                             ShowMenu(edit, source->actions(), position);
                     });
}

}  // namespace fw

#include "framework/qt/dialog_widget.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QShortcut>

#include "framework/app.h"
#include "framework/dialog.h"
#include "framework/system_menu.h"

namespace fw {

DialogWidget::DialogWidget(Dialog& dialog, Qt::WindowFlags flags)
    : QDialog(nullptr, flags), dialog_(&dialog) {}

void DialogWidget::OfferSystemMenuKeys() {
    // Shortcuts of the whole window, so that the keys work whichever control has the focus: a
    // read-only log takes Alt+Space and Alt+F4 before the dialog's own key handling could see them.
    auto* openMenu = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    openMenu->setContext(Qt::WindowShortcut);
    connect(openMenu, &QShortcut::activated, this, [this] {
        if (dialog_ && isEnabled() && dialog_->GetSystemMenu()) {
            const QPoint at = mapToGlobal(QPoint(0, 0));
            dialog_->GetSystemMenu()->Popup(at.x(), at.y());
        }
    });
    // Alt+F4 asks as the close box does, so that whatever a dialog does with a close applies.
    auto* close = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    close->setContext(Qt::WindowShortcut);
    connect(close, &QShortcut::activated, this, [this] {
        if (dialog_ && isEnabled()) dialog_->Dispatch(WM_SYSCOMMAND, SC_CLOSE, 0);
    });
}

bool DialogWidget::event(QEvent* event) {
    ++eventDepth_;
    if (event->type() == QEvent::WindowActivate && dialog_)
        if (WinApp* app = WinApp::Current()) app->NoteActivated(*dialog_);
    bool handled = QDialog::event(event);
    --eventDepth_;
    return handled;
}

void DialogWidget::keyPressEvent(QKeyEvent* event) {
    if (!dialog_) return QDialog::keyPressEvent(event);
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
        case Qt::Key_Escape:
            if (modifiers == Qt::NoModifier) {
                dialog_->Dispatch(WM_COMMAND, MakeCommandParam(IDCANCEL, BN_CLICKED), 0);
                return;
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (modifiers == Qt::NoModifier) {
                dialog_->OnEnterKey();
                return;
            }
            break;
        case Qt::Key_F1:
            if (modifiers == Qt::NoModifier) {
                dialog_->Dispatch(WM_COMMAND, MakeCommandParam(ID_HELP, 0), 0);
                return;
            }
            break;
        default:
            break;
    }
    QDialog::keyPressEvent(event);
}

void DialogWidget::closeEvent(QCloseEvent* event) {
    // The dialog decides whether it ends; the close box only asks, as SC_CLOSE. A disabled window
    // (an owner while its progress dialog runs) takes no input, the close box included.
    event->ignore();
    if (dialog_ && isEnabled()) dialog_->Dispatch(WM_SYSCOMMAND, SC_CLOSE, 0);
}

void DialogWidget::contextMenuEvent(QContextMenuEvent* event) {
    if (dialog_ && dialog_->GetSystemMenu()) {
        dialog_->GetSystemMenu()->Popup(event->globalPos().x(), event->globalPos().y());
        event->accept();
    }
}

void DialogWidget::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (dialog_) dialog_->Dispatch(WM_PAINT, 0, 0);
}

}  // namespace fw

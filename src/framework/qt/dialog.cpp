#include "framework/dialog.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWindow>

#include "framework/app.h"
#include "framework/qt/dialog_font.h"
#include "framework/qt/dialog_widget.h"
#include "framework/qt/edit_menu.h"
#include "framework/qt/icon_pictures.h"
#include "framework/resources.h"
#include "framework/system_menu.h"

namespace fw {
namespace {

Qt::WindowFlags FlagsFor(const DialogTemplate& tmpl) {
    Qt::WindowFlags flags = (tmpl.exStyle & WS_EX_APPWINDOW) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if (tmpl.style & WS_CAPTION) flags |= Qt::WindowTitleHint;
    if (tmpl.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags;
}

// Keeps an owned window above its owner without making it a Qt child, which would share the
// owner's disabled state.
void SetOwner(QWidget* widget, Window* owner) {
    if (!owner || !owner->Widget()) return;
    QWidget* ownerWindow = owner->Widget()->window();
    widget->winId();
    ownerWindow->winId();
    if (widget->windowHandle() && ownerWindow->windowHandle())
        widget->windowHandle()->setTransientParent(ownerWindow->windowHandle());
}

}  // namespace

struct Dialog::Native {
    DialogWidget* widget = nullptr;
    QEventLoop* loop = nullptr;  // the modal run's
    DialogUnits units{};
};

Dialog::Dialog(int templateId, Window* parent)
    : templateId_(templateId), parent_(parent), native_(std::make_unique<Native>()) {}

Dialog::~Dialog() {
    DestroyWindow();
}

bool Dialog::Build(Window* owner) {
    const DialogTemplate* tmpl = FindTemplate(templateId_);
    if (!tmpl || IsWindow()) return false;
    ended_ = false;
    native_->widget = new DialogWidget(*this, FlagsFor(*tmpl));
    QFont font = TemplateFont(tmpl->fontFace, tmpl->fontPointSize);
    native_->widget->setFont(font);
    native_->units = MeasureDialogUnits(font);
    native_->widget->setFixedSize(native_->units.ToPixelsX(tmpl->cx),
                                  native_->units.ToPixelsY(tmpl->cy));
    native_->widget->setWindowTitle(QString::fromUtf8(tmpl->caption));
    Attach(native_->widget);
    if (tmpl->style & WS_SYSMENU) {
        systemMenu_ = std::make_unique<SystemMenu>(*this, native_->widget);
        native_->widget->OfferSystemMenuKeys();
    }
    BuildControls(*tmpl);
    SetOwner(native_->widget, owner);
    if (OnInitDialog()) FocusFirstTabStop();
    return true;
}

void Dialog::BuildControls(const DialogTemplate& tmpl) {
    for (const ControlTemplate& c : tmpl.controls) {
        QString text = QString::fromUtf8(c.text ? c.text : "");
        QWidget* w = nullptr;
        std::unique_ptr<Control> control;
        switch (c.kind) {
            case ControlKind::kPushButton: {
                auto* button = new QPushButton(text, native_->widget);
                bool isDefault = (c.style & 0xF) == BS_DEFPUSHBUTTON;
                button->setDefault(isDefault);
                button->setAutoDefault(true);
                if (isDefault) defaultButtonId_ = c.id;
                control = std::make_unique<ButtonControl>(c.id, button);
                w = button;
                break;
            }
            case ControlKind::kRadioButton: {
                auto* radio = new QRadioButton(text, native_->widget);
                control = std::make_unique<ButtonControl>(c.id, radio);
                w = radio;
                break;
            }
            case ControlKind::kStaticText: {
                auto* label = new QLabel(text, native_->widget);
                label->setTextFormat(Qt::PlainText);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                control = std::make_unique<StaticControl>(c.id, label);
                w = label;
                break;
            }
            case ControlKind::kIcon: {
                auto* label = new QLabel(native_->widget);
                if (const Icon icon = LoadIcon(c.iconId))
                    label->setPixmap(icon.Get()->icon.pixmap(32, 32));
                control = std::make_unique<StaticControl>(c.id, label);
                w = label;
                break;
            }
            case ControlKind::kEdit: {
                auto* edit = new QPlainTextEdit(native_->widget);
                edit->setReadOnly(c.style & ES_READONLY);
                edit->setUndoRedoEnabled(false);
                if (c.style & ES_AUTOHSCROLL) edit->setLineWrapMode(QPlainTextEdit::NoWrap);
                edit->setFrameShape((c.style & WS_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
                // Read-only, it still takes the focus so that the operator can scroll and copy.
                edit->setTextInteractionFlags(Qt::TextSelectableByKeyboard |
                                              Qt::TextSelectableByMouse);
                if (systemMenu_) OfferSystemMenuInContextMenu(edit, *systemMenu_);
                control = std::make_unique<EditControl>(c.id, edit);
                w = edit;
                break;
            }
            case ControlKind::kProgressBar: {
                auto* bar = new QProgressBar(native_->widget);
                control = std::make_unique<ProgressBar>(c.id, bar);
                w = bar;
                break;
            }
        }
        QRect geometry = native_->units.ToPixels(c.x, c.y, c.cx, c.cy);
        if (c.kind == ControlKind::kIcon) geometry.setSize(QSize(32, 32));  // icons keep their size
        w->setGeometry(geometry);
        if (c.kind != ControlKind::kEdit && c.kind != ControlKind::kRadioButton) {
            // Radio buttons keep Qt's focus handling: Tab reaches the group, arrows move in it.
            w->setFocusPolicy((c.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::NoFocus);
            w->setContextMenuPolicy(Qt::PreventContextMenu);
        }
        if (c.kind == ControlKind::kPushButton || c.kind == ControlKind::kRadioButton) {
            int id = c.id;
            QObject::connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked,
                             native_->widget, [this, id] {
                                 Dispatch(WM_COMMAND,
                                          MakeCommandParam(static_cast<UINT>(id), BN_CLICKED), 0);
                             });
        }
        if (c.style & WS_TABSTOP) tabStops_.push_back(c.id);
        controls_.push_back(std::move(control));
    }
}

void Dialog::FocusFirstTabStop() {
    for (int id : tabStops_)
        if (Control* c = GetDlgItem(id); c && c->Widget()->isEnabled()) {
            c->Widget()->setFocus(Qt::OtherFocusReason);
            return;
        }
}

namespace {
// The dialogs whose modal runs are under way, innermost last.
std::vector<Dialog*>& ModalRuns() {
    static std::vector<Dialog*> runs;
    return runs;
}
}  // namespace

NativeWindow Dialog::ActiveModalWindow() {
    if (QWidget* box = QApplication::activeModalWidget()) return box;
    for (auto it = ModalRuns().rbegin(); it != ModalRuns().rend(); ++it)
        if ((*it)->parent_ && (*it)->native_->widget && (*it)->native_->widget->isVisible())
            return (*it)->native_->widget;
    return nullptr;
}

void Dialog::EndModalRuns() {
    // Boxes are Qt's own modal runs; a closed one is no longer the active modal window.
    for (QWidget* modal = QApplication::activeModalWidget(); modal;
         modal = QApplication::activeModalWidget()) {
        auto* box = qobject_cast<QDialog*>(modal);
        if (!box || !box->isVisible()) break;
        box->reject();
    }
    for (auto it = ModalRuns().rbegin(); it != ModalRuns().rend(); ++it) (*it)->EndDialog(IDCANCEL);
}

int Dialog::DoModal() {
    if (!Build(parent_)) return -1;
    if (!ended_) {
        // Disabling the owner, rather than a Qt modality, leaves the owner's other windows usable.
        ownerDisable_ = WindowDisable(parent_);
        ModalRuns().push_back(this);
        native_->widget->show();
        native_->widget->activateWindow();
        QEventLoop loop;
        native_->loop = &loop;
        if (!ended_) loop.exec(QEventLoop::DialogExec);
        native_->loop = nullptr;
        std::erase(ModalRuns(), this);
        ownerDisable_.Release();
    }
    int result = result_;
    DestroyWindow();
    return result;
}

bool Dialog::Create(Window* owner) {
    if (!Build(owner)) return false;
    const DialogTemplate* tmpl = FindTemplate(templateId_);
    if (tmpl && (tmpl->style & WS_VISIBLE) && native_->widget) native_->widget->show();
    return IsWindow();
}

void Dialog::EndDialog(int result) {
    result_ = result;
    ended_ = true;
    if (!native_->loop) return;
    // An owned dialog goes at once and gives its owner back, even when its run ends only after a
    // handler further up the stack has returned.
    if (ownerDisable_.Holds() && native_->widget) {
        ownerDisable_.Release();
        native_->widget->hide();
    }
    native_->loop->exit(result);
}

void Dialog::DestroyWindow() {
    if (!native_->widget) return;
    DialogWidget* widget = native_->widget;
    native_->widget = nullptr;
    widget->Release();
    systemMenu_.reset();
    controls_.clear();  // each control lets go of its handle first
    tabStops_.clear();
    defaultButtonId_ = 0;
    Detach();
    widget->hide();
    if (widget->InEvent())
        widget->deleteLater();
    else
        delete widget;
    PostNcDestroy();
}

void Dialog::SetIcon(const Icon& icon, bool big) {
    // Qt keeps one icon with all its sizes; the large and the small picture both come from it.
    (void)big;
    if (native_->widget && icon) native_->widget->setWindowIcon(icon.Get()->icon);
}

bool Dialog::IsIconic() const {
    return native_->widget && native_->widget->isMinimized();
}

Size Dialog::ClientSize() const {
    if (!native_->widget) return {};
    return {native_->widget->width(), native_->widget->height()};
}

void Dialog::PaintIcon(const Icon& icon, int x, int y, int size) {
    if (!native_->widget || !icon) return;
    QPainter painter(native_->widget);
    painter.fillRect(x, y, size, size, native_->widget->palette().window());
    icon.Get()->icon.paint(&painter, x, y, size, size);
}

void Dialog::OnEnterKey() {
    int id = defaultButtonId_ ? defaultButtonId_ : IDOK;
    if (auto* focused = qobject_cast<QPushButton*>(native_->widget->focusWidget()))
        for (const auto& c : controls_)
            if (c->Widget() == focused) id = c->Id();
    Dispatch(WM_COMMAND, MakeCommandParam(static_cast<UINT>(id), BN_CLICKED), 0);
}

LRESULT Dialog::PassToSystem(UINT, WPARAM, LPARAM) {
    // Qt's windows have no system commands beyond the ones the framework handles.
    return 0;
}

}  // namespace fw

#include "framework/controls.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextCursor>
#include <cstring>

namespace fw {
namespace {

// The platform text keeps "\r\n" where the document has a paragraph break.
QString ToDocumentText(std::string_view text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

std::string FromDocumentText(const QString& text) {
    QString s = text;
    s.replace(QChar('\n'), QStringLiteral("\r\n"));
    return s.toStdString();
}

QPlainTextEdit* EditOf(const Window& control) {
    return static_cast<QPlainTextEdit*>(control.Widget());
}

int Low16(LPARAM value) {
    return static_cast<int>(value & 0xFFFF);
}
int High16(LPARAM value) {
    return static_cast<int>((value >> 16) & 0xFFFF);
}

}  // namespace

Control::Control(int id, NativeWindow widget) : id_(id) {
    Attach(widget);
}

void Control::WidenToFit(std::string_view text) {
    QWidget* widget = Widget();
    if (!widget) return;
    const int needed = widget->fontMetrics().horizontalAdvance(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    if (widget->width() < needed) widget->resize(needed, widget->height());
}

void Control::SetWindowText(const std::string& text) {
    QString s = QString::fromStdString(text);
    if (auto* label = qobject_cast<QLabel*>(Widget()))
        label->setText(s);
    else if (auto* button = qobject_cast<QAbstractButton*>(Widget()))
        button->setText(s);
    else
        Window::SetWindowText(text);
}

std::string Control::GetWindowText() const {
    if (auto* label = qobject_cast<QLabel*>(Widget())) return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(Widget()))
        return button->text().toStdString();
    return Window::GetWindowText();
}

// --- EditControl

EditControl::EditControl(int id, NativeWindow edit) : Control(id, edit) {}

std::string EditControl::GetText() const {
    return IsWindow() ? FromDocumentText(EditOf(*this)->toPlainText()) : std::string();
}

void EditControl::SetText(std::string_view text) {
    if (!IsWindow()) return;
    EditOf(*this)->setPlainText(ToDocumentText(text));
    length_ = text.size();
}

void EditControl::AppendText(std::string_view text) {
    if (!IsWindow() || text.empty()) return;
    QTextCursor cursor(EditOf(*this)->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToDocumentText(text));
    length_ += text.size();
}

int EditControl::ToDocumentPosition(std::size_t bytePosition) const {
    if (bytePosition >= length_) return EditOf(*this)->document()->characterCount() - 1;
    std::string prefix = GetText().substr(0, bytePosition);
    return static_cast<int>(ToDocumentText(prefix).size());
}

void EditControl::SetSel(std::size_t start, std::size_t end) {
    if (!IsWindow()) return;
    QTextCursor cursor = EditOf(*this)->textCursor();
    cursor.setPosition(ToDocumentPosition(start));
    cursor.setPosition(ToDocumentPosition(end), QTextCursor::KeepAnchor);
    EditOf(*this)->setTextCursor(cursor);
}

void EditControl::ScrollCaret() {
    if (IsWindow()) EditOf(*this)->ensureCursorVisible();
}

LRESULT EditControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(length_);
        case WM_GETTEXT: {
            // wParam: buffer size in bytes, terminator included; lParam: the buffer.
            if (wParam == 0 || lParam == 0) return 0;
            std::string text = GetText();
            std::size_t n = std::min<std::size_t>(text.size(), wParam - 1);
            std::memcpy(reinterpret_cast<char*>(lParam), text.data(), n);
            reinterpret_cast<char*>(lParam)[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_SETTEXT:
            SetText(lParam ? reinterpret_cast<const char*>(lParam) : "");
            return 1;
        case EM_SETSEL:
            SetSel(static_cast<std::size_t>(wParam), static_cast<std::size_t>(lParam));
            return 0;
        case EM_SCROLLCARET:
            ScrollCaret();
            return 1;
        default:
            return Control::WindowProc(message, wParam, lParam);
    }
}

// --- ProgressBar

ProgressBar::ProgressBar(int id, NativeWindow bar) : Control(id, bar) {
    static_cast<QProgressBar*>(bar)->setTextVisible(false);
    Show();
}

void ProgressBar::Show() {
    if (!IsWindow()) return;
    // Qt draws an equal range as a busy indicator; an empty bar is what such a range means here.
    auto* bar = static_cast<QProgressBar*>(Widget());
    bar->setRange(lower_, upper_ > lower_ ? upper_ : lower_ + 1);
    bar->setValue(position_);
}

void ProgressBar::SetRange(int lower, int upper) {
    lower_ = lower & 0xFFFF;
    upper_ = upper & 0xFFFF;
    position_ = std::clamp(position_, std::min(lower_, upper_), std::max(lower_, upper_));
    Show();
}

int ProgressBar::SetStep(int step) {
    int previous = step_;
    step_ = static_cast<std::int16_t>(step & 0xFFFF);
    return previous & 0xFFFF;
}

int ProgressBar::SetPos(int position) {
    int previous = position_;
    position_ = std::clamp(position & 0xFFFF, std::min(lower_, upper_), std::max(lower_, upper_));
    Show();
    return previous;
}

long long ProgressBar::NextPosition(long long position, long long step, int lower, int upper) {
    long long next = position + step;
    if (next > upper && upper > lower) next = lower + (next - lower) % (upper - lower);
    return std::max<long long>(next, lower);
}

int ProgressBar::StepIt() {
    int previous = position_;
    position_ = static_cast<int>(NextPosition(position_, step_, lower_, upper_));
    Show();
    return previous & 0xFFFF;
}

LRESULT ProgressBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case PBM_SETRANGE: {
            LRESULT previous = MakeLong(lower_, upper_);
            SetRange(Low16(lParam), High16(lParam));
            return previous;
        }
        case PBM_SETPOS:
            return SetPos(static_cast<int>(wParam));
        case PBM_SETSTEP:
            return SetStep(static_cast<int>(wParam));
        case PBM_STEPIT:
            return StepIt();
        default:
            return Control::WindowProc(message, wParam, lParam);
    }
}

// --- ButtonControl

ButtonControl::ButtonControl(int id, NativeWindow button) : Control(id, button) {}

void ButtonControl::SetCheck(int state) {
    if (IsWindow()) static_cast<QAbstractButton*>(Widget())->setChecked(state == BST_CHECKED);
}

int ButtonControl::GetCheck() const {
    return IsWindow() && static_cast<QAbstractButton*>(Widget())->isChecked() ? BST_CHECKED
                                                                              : BST_UNCHECKED;
}

LRESULT ButtonControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case BM_GETCHECK:
            return GetCheck();
        case BM_SETCHECK:
            SetCheck(static_cast<int>(wParam));
            return 0;
        default:
            return Control::WindowProc(message, wParam, lParam);
    }
}

}  // namespace fw

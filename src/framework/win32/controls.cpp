// The controls over the system's own: EDIT, msctls_progress32, BUTTON and STATIC.
#include "framework/controls.h"

#include "framework/win32/windows_api.h"

namespace fw {

Control::Control(int id, NativeWindow widget) : id_(id) {
    Attach(widget);
}

void Control::SetWindowText(const std::string& text) {
    Window::SetWindowText(text);
}

std::string Control::GetWindowText() const {
    return Window::GetWindowText();
}

void Control::WidenToFit(std::string_view text) {
    HWND control = Widget();
    if (!control) return;
    const std::wstring wide = WideFromUtf8(text);
    HDC context = GetDC(control);
    HGDIOBJ previous =
        SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(context, wide.c_str(), static_cast<int>(wide.size()), &extent);
    SelectObject(context, previous);
    ReleaseDC(control, context);
    RECT client{};
    GetClientRect(control, &client);
    if (client.right < extent.cx)
        SetWindowPos(control, nullptr, 0, 0, extent.cx, client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- EditControl

EditControl::EditControl(int id, NativeWindow edit) : Control(id, edit) {
    // No limit of its own: a long session's log must not stop taking lines at 32,767 characters.
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
}

std::string EditControl::GetText() const {
    return Window::GetWindowText();
}

void EditControl::SetText(std::string_view text) {
    if (!IsWindow()) return;
    SetWindowTextW(Widget(), WideFromUtf8(text).c_str());
    length_ = text.size();
}

void EditControl::AppendText(std::string_view text) {
    if (!IsWindow() || text.empty()) return;
    const WPARAM end = static_cast<WPARAM>(GetWindowTextLengthW(Widget()));
    SendMessageW(Widget(), EM_SETSEL, end, static_cast<LPARAM>(end));
    const std::wstring wide = WideFromUtf8(text);
    SendMessageW(Widget(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
    length_ += text.size();
}

int EditControl::ToDocumentPosition(std::size_t bytePosition) const {
    if (bytePosition >= length_) return GetWindowTextLengthW(Widget());
    return static_cast<int>(ToUtf16(GetText().substr(0, bytePosition)).size());
}

void EditControl::SetSel(std::size_t start, std::size_t end) {
    if (!IsWindow()) return;
    SendMessageW(Widget(), EM_SETSEL, static_cast<WPARAM>(ToDocumentPosition(start)),
                 static_cast<LPARAM>(ToDocumentPosition(end)));
}

void EditControl::ScrollCaret() {
    if (IsWindow()) SendMessageW(Widget(), EM_SCROLLCARET, 0, 0);
}

// --- ProgressBar: the system's control steps, wraps and clamps; the copy here follows it.

ProgressBar::ProgressBar(int id, NativeWindow bar) : Control(id, bar) {
    Show();
}

void ProgressBar::Show() {
    if (!IsWindow()) return;
    position_ = static_cast<int>(SendMessageW(Widget(), PBM_GETPOS, 0, 0));
}

void ProgressBar::SetRange(int lower, int upper) {
    lower_ = lower & 0xFFFF;
    upper_ = upper & 0xFFFF;
    if (IsWindow()) SendMessageW(Widget(), PBM_SETRANGE, 0, MAKELPARAM(lower_, upper_));
    Show();
}

int ProgressBar::SetStep(int step) {
    const int previous = step_;
    step_ = static_cast<std::int16_t>(step & 0xFFFF);
    if (IsWindow()) SendMessageW(Widget(), PBM_SETSTEP, static_cast<WPARAM>(step_), 0);
    return previous & 0xFFFF;
}

int ProgressBar::SetPos(int position) {
    const int previous = position_;
    if (IsWindow()) SendMessageW(Widget(), PBM_SETPOS, static_cast<WPARAM>(position & 0xFFFF), 0);
    Show();
    return previous;
}

int ProgressBar::StepIt() {
    const int previous = position_;
    if (IsWindow()) SendMessageW(Widget(), PBM_STEPIT, 0, 0);
    Show();
    return previous & 0xFFFF;
}

// --- ButtonControl

ButtonControl::ButtonControl(int id, NativeWindow button) : Control(id, button) {}

void ButtonControl::SetCheck(int state) {
    if (IsWindow()) SendMessageW(Widget(), BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

int ButtonControl::GetCheck() const {
    return IsWindow() && SendMessageW(Widget(), BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_CHECKED
                                                                                  : BST_UNCHECKED;
}

}  // namespace fw

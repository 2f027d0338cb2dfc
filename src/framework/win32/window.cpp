// Windows over Win32 windows: the binding to the window handle, its texts, tool tips and the
// description a screen reader gives.
#include "framework/window.h"

#include <cassert>

#include "framework/win32/backend.h"
#include "framework/window_link.h"
// After the project's headers:
#include <initguid.h>
#include <oleacc.h>

namespace fw {
namespace {

constexpr wchar_t kToolTipProperty[] = L"fw.toolTip";

// One tool tip window per top-level window shows the tips of all its controls.
HWND ToolTipOf(HWND control) {
    HWND top = GetAncestor(control, GA_ROOT);
    if (!top) return nullptr;
    if (auto* tip = static_cast<HWND>(GetPropW(top, kToolTipProperty))) return tip;
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, top,
                               nullptr, win32::Instance(), nullptr);
    if (tip) SetPropW(top, kToolTipProperty, tip);
    return tip;
}

}  // namespace

void Window::Attach(NativeWindow widget) {
    assert(OnUiThread());
    Detach();
    widget_ = widget;
    link_ = std::make_shared<detail::WindowLink>(this);
}

void Window::Detach() {
    if (!widget_) return;
    widget_ = nullptr;
    link_->Sever();
    link_ = detail::DeadLink();
}

void Window::SetWindowText(const std::string& text) {
    if (widget_) SetWindowTextW(widget_, WideFromUtf8(text).c_str());
}

std::string Window::GetWindowText() const {
    if (!widget_) return {};
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(widget_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(widget_, text.data(), static_cast<int>(text.size()))));
    return Utf8FromWide(text);
}

void Window::EnableWindow(bool enable) {
    if (widget_) ::EnableWindow(widget_, enable ? TRUE : FALSE);
}

bool Window::IsWindowEnabled() const {
    return widget_ && ::IsWindowEnabled(widget_);
}

void Window::SetToolTip(const std::string& text) {
    HWND tip = widget_ ? ToolTipOf(widget_) : nullptr;
    if (!tip) return;
    std::wstring wide = WideFromUtf8(text);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = GetAncestor(widget_, GA_ROOT);
    tool.uId = reinterpret_cast<UINT_PTR>(widget_);
    tool.lpszText = wide.data();
    SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Window::SetAccessibleDescription(const std::string& text) {
    if (!widget_) return;
    // Screen readers ask the window's accessible object; the property service adds the
    // description to what the system's own object says.
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services))))
        return;
    std::wstring wide = WideFromUtf8(text);
    services->SetHwndPropStr(widget_, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                             PROPID_ACC_DESCRIPTION, wide.c_str());
    services->Release();
}

}  // namespace fw

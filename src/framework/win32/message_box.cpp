// Message boxes: the system's own, with the exclamation icon (the stop icon for file errors), the
// program's name as title, owned by the application's most recently active window.
#include "framework/message_box.h"

#include "framework/app.h"
#include "framework/resources.h"
#include "framework/text_format.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {
namespace {

void ShowBox(UINT icon, const std::string& text) {
    WinApp* app = WinApp::Current();
    Window* ownerWindow = app ? app->LastActivePopup() : nullptr;
    HWND owner = ownerWindow ? ownerWindow->Widget() : nullptr;
    // A box before the main window shows (no data file, the port refused) would hide behind other
    // programs' windows with its owner, without a taskbar button: it stands on its own, in front.
    UINT flags = MB_OK | icon;
    if (!owner || !IsWindowVisible(owner)) {
        owner = nullptr;
        flags |= MB_SETFOREGROUND;
    }
    MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(ApplicationName()).c_str(), flags);
}

std::string SystemText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide = length ? std::wstring(text, length) : L"error " + std::to_wstring(error);
    if (text) LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r')) wide.pop_back();
    return Utf8FromWide(wide);
}

}  // namespace

void MessageBox(const std::string& text) {
    ShowBox(MB_ICONEXCLAMATION, text);
}

void ErrorBox(const std::string& text) {
    ShowBox(MB_ICONSTOP, text);
}

void FileErrorBox(const std::string& path, int error) {
    ErrorBox(FormatText("%1 の読み込み中にエラーが発生しました。\n%2", {path, SystemText(error)}));
}

void MessageBox(int textId) {
    std::string text = LoadText(textId);
    if (!text.empty()) MessageBox(text);
}

}  // namespace fw

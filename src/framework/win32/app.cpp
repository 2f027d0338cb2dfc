// The application object on Win32: the common controls, COM for the accessibility properties, and
// the program's name.
#include "framework/app.h"

#include <string>

#include "framework/accessibility.h"
// After the project's headers:
#include "framework/win32/backend.h"
// After windows.h:
#include <objbase.h>

namespace fw {

int WinApp::Run(int, char**) {
    win32::AdoptUiThread();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    InstallInterfaceFont();
    InstallAccessibility();
    InitInstance();
    // Senders still waiting for the UI thread are released: nothing will run their calls now.
    win32::DropQueuedCalls();
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode_;
}

Window* WinApp::LastActivePopup() const {
    if (Window* active = lastActive_.Get();
        active && active->Widget() && IsWindowVisible(active->Widget()))
        return active;
    return mainWindow_;
}

std::string ApplicationName() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (const std::size_t dot = name.rfind(L'.'); dot != std::wstring::npos) name.resize(dot);
    return name.empty() ? "qelpupd" : Utf8FromWide(name);
}

void InstallInterfaceFont() {
    // Each template names its font; message boxes and menus keep the system's own.
}

}  // namespace fw

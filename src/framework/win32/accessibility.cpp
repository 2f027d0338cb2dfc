// Screen readers on Win32 ask a window's accessible object (MSAA, UI Automation through it). The
// percentage text carries its number as its value, set through the property service, and each
// change is announced as a value change.
#include "framework/accessibility.h"

#include <string>

#include "framework/controls.h"
// After the project's headers:
#include "framework/win32/backend.h"
// After windows.h:
#include <initguid.h>
#include <oleacc.h>

namespace fw {
namespace {

void SetValue(HWND window, const std::wstring& value) {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services))))
        return;
    services->SetHwndPropStr(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                             PROPID_ACC_VALUE, value.c_str());
    services->Release();
}

}  // namespace

void InstallAccessibility() {
    // The system's accessible objects serve every control; nothing to install.
}

void ExposePercentage(Control& text) {
    if (text.Widget()) SetValue(text.Widget(), WideFromUtf8(text.GetWindowText()));
}

void AnnouncePercentage(Control& text, int percent) {
    HWND window = text.Widget();
    if (!window) return;
    SetValue(window, std::to_wstring(percent));
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace fw

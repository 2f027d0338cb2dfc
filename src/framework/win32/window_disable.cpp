// Counted disabling on Win32: the count and whether the window was enabled before are kept as the
// window's properties, so that they go with it.
#include "framework/window_disable.h"

#include <utility>

#include "framework/window.h"
// After the project's headers:
#include "framework/win32/backend.h"

namespace fw {
namespace {

constexpr wchar_t kHolds[] = L"fw.disableHolds";
constexpr wchar_t kEnableAtLast[] = L"fw.enableAtLastRelease";

int HoldCount(HWND window) {
    return static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(window, kHolds)));
}

}  // namespace

struct WindowDisable::Hold {
    HWND window;
};

WindowDisable::WindowDisable() = default;

WindowDisable::WindowDisable(Window* held) {
    if (!held || !held->Widget()) return;
    HWND window = GetAncestor(held->Widget(), GA_ROOT);
    const int holds = HoldCount(window);
    if (holds == 0) {
        SetPropW(window, kEnableAtLast,
                 reinterpret_cast<HANDLE>(static_cast<INT_PTR>(IsWindowEnabled(window) ? 1 : 0)));
        ::EnableWindow(window, FALSE);
    }
    SetPropW(window, kHolds, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(holds + 1)));
    hold_ = std::make_unique<Hold>(Hold{window});
}

WindowDisable::~WindowDisable() {
    Release();
}

WindowDisable::WindowDisable(WindowDisable&& other) noexcept : hold_(std::move(other.hold_)) {}

WindowDisable& WindowDisable::operator=(WindowDisable&& other) noexcept {
    if (this != &other) {
        Release();
        hold_ = std::move(other.hold_);
    }
    return *this;
}

void WindowDisable::Release() {
    const std::unique_ptr<Hold> hold = std::move(hold_);
    if (!hold || !IsWindow(hold->window)) return;
    HWND window = hold->window;
    const int holds = HoldCount(window) - 1;
    if (holds > 0) {
        SetPropW(window, kHolds, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(holds)));
        return;
    }
    RemovePropW(window, kHolds);
    const bool enable = GetPropW(window, kEnableAtLast) != nullptr;
    RemovePropW(window, kEnableAtLast);
    if (enable) ::EnableWindow(window, TRUE);
}

}  // namespace fw

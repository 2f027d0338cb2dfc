#include "framework/window_disable.h"

#include <QVariant>
#include <QWidget>
#include <utility>

namespace fw {
namespace {

// Kept on the window itself, so that the count goes with it.
constexpr const char* kHolds = "fw.disableHolds";
constexpr const char* kEnableAtLast = "fw.enableAtLastRelease";

}  // namespace

WindowDisable::WindowDisable(QWidget* widget) {
    if (!widget) return;
    QWidget* window = widget->window();
    const int holds = window->property(kHolds).toInt();
    if (holds == 0) {
        window->setProperty(kEnableAtLast, window->isEnabled());
        window->setEnabled(false);
    }
    window->setProperty(kHolds, holds + 1);
    window_ = window;
    held_ = true;
}

WindowDisable::WindowDisable(WindowDisable&& other) noexcept
    : window_(std::move(other.window_)), held_(std::exchange(other.held_, false)) {
    other.window_ = nullptr;
}

WindowDisable& WindowDisable::operator=(WindowDisable&& other) noexcept {
    if (this != &other) {
        Release();
        window_ = std::move(other.window_);
        other.window_ = nullptr;
        held_ = std::exchange(other.held_, false);
    }
    return *this;
}

void WindowDisable::Release() {
    if (!std::exchange(held_, false)) return;
    QWidget* window = window_.data();
    window_ = nullptr;
    if (!window) return;
    const int holds = window->property(kHolds).toInt() - 1;
    window->setProperty(kHolds, holds > 0 ? QVariant(holds) : QVariant());
    if (holds <= 0 && window->property(kEnableAtLast).toBool()) window->setEnabled(true);
}

}  // namespace fw

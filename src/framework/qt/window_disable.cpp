#include "framework/window_disable.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <utility>

#include "framework/window.h"

namespace fw {
namespace {

// Kept on the window itself, so that the count goes with it.
constexpr const char* kHolds = "fw.disableHolds";
constexpr const char* kEnableAtLast = "fw.enableAtLastRelease";

}  // namespace

struct WindowDisable::Hold {
    QPointer<QWidget> window;
};

WindowDisable::WindowDisable(Window* held) {
    if (!held || !held->Widget()) return;
    QWidget* window = held->Widget()->window();
    const int holds = window->property(kHolds).toInt();
    if (holds == 0) {
        window->setProperty(kEnableAtLast, window->isEnabled());
        window->setEnabled(false);
    }
    window->setProperty(kHolds, holds + 1);
    hold_ = std::make_unique<Hold>(Hold{window});
}

WindowDisable::WindowDisable() = default;

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
    QWidget* window = hold ? hold->window.data() : nullptr;
    if (!window) return;
    const int holds = window->property(kHolds).toInt() - 1;
    window->setProperty(kHolds, holds > 0 ? QVariant(holds) : QVariant());
    if (holds <= 0 && window->property(kEnableAtLast).toBool()) window->setEnabled(true);
}

}  // namespace fw

// Windows over Qt widgets: the binding to the widget, its texts, and the UI thread's queue.
#include "framework/window.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "framework/ui_thread.h"
#include "framework/window_link.h"

namespace fw {

bool OnUiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool detail::QueueOnUiThread(std::function<void()> call) {
    auto* app = QCoreApplication::instance();
    if (!app) return false;
    return QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}

void Window::Attach(NativeWindow widget) {
    Q_ASSERT(OnUiThread());
    Detach();
    widget_ = widget;
    link_ = std::make_shared<detail::WindowLink>(this);
    // The widget may be destroyed by its Qt parent; the binding ends with it.
    QObject::connect(widget, &QObject::destroyed, widget, [this, link = link_] {
        if (link == link_) Detach();
    });
}

void Window::Detach() {
    if (!widget_) return;
    QObject::disconnect(widget_, &QObject::destroyed, widget_, nullptr);
    widget_ = nullptr;
    link_->Sever();
    link_ = detail::DeadLink();
}

void Window::SetWindowText(const std::string& text) {
    if (widget_) widget_->setWindowTitle(QString::fromStdString(text));
}

std::string Window::GetWindowText() const {
    return widget_ ? widget_->windowTitle().toStdString() : std::string();
}

void Window::EnableWindow(bool enable) {
    if (widget_) widget_->setEnabled(enable);
}

void Window::SetToolTip(const std::string& text) {
    if (widget_) widget_->setToolTip(QString::fromStdString(text));
}

void Window::SetAccessibleDescription(const std::string& text) {
    if (widget_) widget_->setAccessibleDescription(QString::fromStdString(text));
}

bool Window::IsWindowEnabled() const {
    return widget_ && widget_->isEnabled();
}

}  // namespace fw

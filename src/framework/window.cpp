#include "framework/window.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include "framework/window_link.h"

namespace fw {

using detail::PendingSend;
using detail::WindowLink;

namespace {

// Finishes a send when the queued call is destroyed, whether or not it ran: a call that Qt drops
// (the application is going away) must still release its sender.
class SendCompletion {
  public:
    explicit SendCompletion(std::shared_ptr<PendingSend> send) : send_(std::move(send)) {}
    SendCompletion(const SendCompletion&) = delete;
    SendCompletion& operator=(const SendCompletion&) = delete;
    ~SendCompletion() { send_->Cancel(); }
    void Complete(LRESULT result) { send_->Finish(result); }

  private:
    std::shared_ptr<PendingSend> send_;
};

std::shared_ptr<WindowLink> DeadLink() {
    static const auto dead = [] {
        auto link = std::make_shared<WindowLink>(nullptr);
        return link;
    }();
    return dead;
}

}  // namespace

bool OnUiThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

bool WindowHandle::IsAlive() const {
    return link_ && link_->IsAlive();
}

Window* WindowHandle::Get() const {
    Q_ASSERT(OnUiThread());
    return link_ ? link_->Get() : nullptr;
}

Window::Window() : link_(DeadLink()) {}

Window::~Window() {
    Detach();
}

WindowHandle Window::Handle() const {
    return WindowHandle(link_);
}

void Window::Attach(QWidget* widget) {
    Q_ASSERT(OnUiThread());
    Detach();
    widget_ = widget;
    link_ = std::make_shared<WindowLink>(this);
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
    link_ = DeadLink();
}

LRESULT Window::WindowProc(UINT message, WPARAM, LPARAM) {
    if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(GetWindowText().size());
    return 0;
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

bool PostMessage(const WindowHandle& window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* app = QCoreApplication::instance();
    if (!app || !window.IsAlive()) return false;
    auto link = window.link_;
    return QMetaObject::invokeMethod(
        app,
        [link, message, wParam, lParam] {
            if (Window* target = link->Get()) target->WindowProc(message, wParam, lParam);
        },
        Qt::QueuedConnection);
}

LRESULT SendCall(const WindowHandle& window, std::function<LRESULT(Window&)> call) {
    if (!window.link_) return 0;
    if (OnUiThread()) {
        Window* target = window.link_->Get();
        return target ? call(*target) : 0;
    }
    auto* app = QCoreApplication::instance();
    if (!app) return 0;
    auto send = std::make_shared<PendingSend>();
    if (!window.link_->AddPending(send)) return 0;
    auto completion = std::make_shared<SendCompletion>(send);
    QMetaObject::invokeMethod(
        app,
        [link = window.link_, completion, call = std::move(call)] {
            if (Window* target = link->Get()) completion->Complete(call(*target));
        },
        Qt::QueuedConnection);
    completion.reset();  // from here only the queued call keeps it
    LRESULT result = send->Wait();
    window.link_->RemovePending(send);
    return result;
}

LRESULT SendMessage(const WindowHandle& window, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendCall(window,
                    [=](Window& target) { return target.WindowProc(message, wParam, lParam); });
}

}  // namespace fw

#include "framework/window.h"

#include <cassert>

#include "framework/ui_thread.h"
#include "framework/window_link.h"

namespace fw {

using detail::PendingSend;
using detail::WindowLink;

namespace {

// Finishes a send when the queued call is destroyed, whether or not it ran: a call that the event
// loop drops (the application is going away) must still release its sender.
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

}  // namespace

bool WindowHandle::IsAlive() const {
    return link_ && link_->IsAlive();
}

Window* WindowHandle::Get() const {
    assert(OnUiThread());
    return link_ ? link_->Get() : nullptr;
}

Window::Window() : link_(detail::DeadLink()) {}

Window::~Window() {
    Detach();
}

WindowHandle Window::Handle() const {
    return WindowHandle(link_);
}

LRESULT Window::WindowProc(UINT message, WPARAM, LPARAM) {
    if (message == WM_GETTEXTLENGTH) return static_cast<LRESULT>(GetWindowText().size());
    return 0;
}

bool PostMessage(const WindowHandle& window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!window.IsAlive()) return false;
    return detail::QueueOnUiThread([link = window.link_, message, wParam, lParam] {
        if (Window* target = link->Get()) target->WindowProc(message, wParam, lParam);
    });
}

LRESULT SendCall(const WindowHandle& window, std::function<LRESULT(Window&)> call) {
    if (!window.link_) return 0;
    if (OnUiThread()) {
        Window* target = window.link_->Get();
        return target ? call(*target) : 0;
    }
    auto send = std::make_shared<PendingSend>();
    if (!window.link_->AddPending(send)) return 0;
    auto completion = std::make_shared<SendCompletion>(send);
    const bool queued =
        detail::QueueOnUiThread([link = window.link_, completion, call = std::move(call)] {
            if (Window* target = link->Get()) completion->Complete(call(*target));
        });
    completion.reset();  // from here only the queued call keeps it
    LRESULT result = queued ? send->Wait() : 0;
    window.link_->RemovePending(send);
    return result;
}

LRESULT SendMessage(const WindowHandle& window, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendCall(window,
                    [=](Window& target) { return target.WindowProc(message, wParam, lParam); });
}

}  // namespace fw

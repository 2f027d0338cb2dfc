#include "framework/window_link.h"

#include <algorithm>

namespace fw::detail {

std::shared_ptr<WindowLink> DeadLink() {
    static const auto dead = std::make_shared<WindowLink>(nullptr);
    return dead;
}

void PendingSend::Finish(LRESULT result) {
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        result_ = result;
    }
    finished_cv_.notify_all();
}

LRESULT PendingSend::Wait() {
    std::unique_lock lock(mutex_);
    finished_cv_.wait(lock, [this] { return finished_; });
    return result_;
}

Window* WindowLink::Get() const {
    std::lock_guard lock(mutex_);
    return window_;
}

bool WindowLink::IsAlive() const {
    std::lock_guard lock(mutex_);
    return window_ != nullptr;
}

bool WindowLink::AddPending(const std::shared_ptr<PendingSend>& send) {
    std::lock_guard lock(mutex_);
    if (!window_) return false;
    pending_.push_back(send);
    return true;
}

void WindowLink::RemovePending(const std::shared_ptr<PendingSend>& send) {
    std::lock_guard lock(mutex_);
    std::erase(pending_, send);
}

void WindowLink::Sever() {
    std::vector<std::shared_ptr<PendingSend>> released;
    {
        std::lock_guard lock(mutex_);
        window_ = nullptr;
        released.swap(pending_);
    }
    for (auto& send : released) send->Cancel();
}

}  // namespace fw::detail

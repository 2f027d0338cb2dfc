#include "cli/run_mailbox.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

RunMailbox::RunMailbox() : eventFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

RunMailbox::~RunMailbox() {
    if (eventFd_ >= 0) close(eventFd_);
}

void RunMailbox::PostDataRequest() {
    {
        std::lock_guard lock(mutex_);
        if (uploading_) return;
        pending_.dataRequest = true;
    }
    Wake();
}

void RunMailbox::PostRunEnded() {
    {
        std::lock_guard lock(mutex_);
        pending_.runEnded = true;
    }
    Wake();
}

RunMailbox::News RunMailbox::Take() {
    std::uint64_t count = 0;
    // Non-blocking: nothing to read only means nothing new was posted.
    [[maybe_unused]] const ssize_t n = read(eventFd_, &count, sizeof count);
    std::lock_guard lock(mutex_);
    News news = pending_;
    pending_ = News{};
    return news;
}

void RunMailbox::BeginUpload() {
    std::lock_guard lock(mutex_);
    uploading_ = true;
}

void RunMailbox::EndUpload() {
    std::lock_guard lock(mutex_);
    uploading_ = false;
    pending_.dataRequest = false;
}

void RunMailbox::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(eventFd_, &one, sizeof one);
}

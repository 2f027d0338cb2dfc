#include "cli/run_mailbox.h"

void RunMailbox::PostDataRequest() {
    {
        std::lock_guard lock(mutex_);
        if (uploading_) return;
        pending_.dataRequest = true;
    }
    Signal();
}

void RunMailbox::PostRunEnded() {
    {
        std::lock_guard lock(mutex_);
        pending_.runEnded = true;
    }
    Signal();
}

RunMailbox::News RunMailbox::Take() {
    Quiet();
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

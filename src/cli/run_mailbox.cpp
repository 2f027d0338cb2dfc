#include "cli/run_mailbox.h"

#include <array>

#include "cli/stop_signals.h"

void RunMailbox::PostDataRequest() {
    {
        std::lock_guard lock(mutex_);
        if (uploading_) return;
        pending_.dataRequest = true;
    }
    signal_.Raise();
}

void RunMailbox::PostRunEnded() {
    {
        std::lock_guard lock(mutex_);
        pending_.runEnded = true;
    }
    signal_.Raise();
}

void RunMailbox::PostPortsChanged() {
    // Nothing to carry: the waiting port looks at its mapping again when woken.
    signal_.Raise();
}

void RunMailbox::PostFinish() {
    {
        std::lock_guard lock(mutex_);
        pending_.finish = true;
    }
    signal_.Raise();
}

RunMailbox::News RunMailbox::Take() {
    signal_.Lower();
    std::lock_guard lock(mutex_);
    News news = pending_;
    pending_ = News{};
    pending_.finish = news.finish;
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

void RunMailbox::DropRunNews() {
    std::lock_guard lock(mutex_);
    pending_.dataRequest = false;
    pending_.runEnded = false;
}

RunMailbox::Wake RunMailbox::WaitForNewsOrStop(
    int& error, std::optional<std::chrono::steady_clock::time_point> until) {
    const std::array<WaitObject, 2> objects{signal_.Object(), StopWaitObject()};
    for (;;) {
        if (StopRequested() != StopCause::kNone) return Wake::kStop;
        std::size_t which = 0;
        switch (WaitForAny(objects, until, which, error)) {
            case WaitOutcome::kSignalled:
                if (which == 0) return Wake::kNews;
                break;  // the stop, seen at the top
            case WaitOutcome::kTimedOut:
                return Wake::kTimedOut;
            case WaitOutcome::kFailed:
                return Wake::kFailed;
        }
    }
}

#include "framework/worker_thread.h"

#include <condition_variable>
#include <mutex>

#include "serial/thread_name.h"

namespace fw {

// Set by the thread as its function returns; shared, so that a thread left running may outlive
// its WorkerThread.
struct WorkerThread::Ending {
    std::mutex mutex;
    std::condition_variable returned;
    bool done = false;
};

WorkerThread::WorkerThread(const char* name, std::function<unsigned()> proc)
    : ending_(std::make_shared<Ending>()) {
    thread_ = std::thread([name, proc = std::move(proc), ending = ending_] {
        NameCurrentThread(name);
        proc();
        std::lock_guard lock(ending->mutex);
        ending->done = true;
        ending->returned.notify_all();
    });
}

WorkerThread::~WorkerThread() {
    Join();
}

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
    Join();
    thread_ = std::move(other.thread_);
    ending_ = std::move(other.ending_);
    return *this;
}

void WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

bool WorkerThread::JoinFor(std::chrono::milliseconds limit) {
    if (!thread_.joinable()) return true;
    if (ending_) {
        std::unique_lock lock(ending_->mutex);
        if (!ending_->returned.wait_for(lock, limit, [this] { return ending_->done; }))
            return false;
    }
    thread_.join();
    return true;
}

void WorkerThread::Detach() {
    if (thread_.joinable()) thread_.detach();
}

}  // namespace fw

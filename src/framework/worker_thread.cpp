#include "framework/worker_thread.h"

namespace fw {

WorkerThread::WorkerThread(std::function<unsigned()> proc)
    : thread_([proc = std::move(proc)] { proc(); }) {}

WorkerThread::~WorkerThread() { Join(); }

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
    Join();
    thread_ = std::move(other.thread_);
    return *this;
}

void WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace fw

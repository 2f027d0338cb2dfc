#include "framework/worker_thread.h"

#include <pthread.h>

namespace fw {

WorkerThread::WorkerThread(const char* name, std::function<unsigned()> proc)
    : thread_([proc = std::move(proc)] { proc(); }) {
    pthread_setname_np(thread_.native_handle(), name);
}

WorkerThread::~WorkerThread() {
    Join();
}

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
    Join();
    thread_ = std::move(other.thread_);
    return *this;
}

void WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace fw

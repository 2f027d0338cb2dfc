#include "framework/worker_thread.h"

#include "serial/thread_name.h"

namespace fw {

WorkerThread::WorkerThread(const char* name, std::function<unsigned()> proc)
    : thread_([name, proc = std::move(proc)] {
          NameCurrentThread(name);
          proc();
      }) {}

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

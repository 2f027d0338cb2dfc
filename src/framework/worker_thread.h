#pragma once
// Worker threads: started with their parameter bound, running at once at normal priority. The owner
// joins; a WorkerThread that still runs when destroyed is joined, never detached.

#include <functional>
#include <thread>

namespace fw {

class WorkerThread {
  public:
    WorkerThread() = default;
    // `name` (at most 15 characters) shows in top, gdb and per-thread CPU figures.
    WorkerThread(const char* name, std::function<unsigned()> proc);
    ~WorkerThread();
    WorkerThread(WorkerThread&&) noexcept = default;
    WorkerThread& operator=(WorkerThread&&) noexcept;

    bool Started() const { return thread_.joinable(); }
    void Join();

  private:
    std::thread thread_;
};

}  // namespace fw

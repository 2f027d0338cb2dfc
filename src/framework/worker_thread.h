#pragma once
// Worker threads: started with their parameter bound, running at once at normal priority. The owner
// joins; a WorkerThread that still runs when destroyed is joined, never detached. An owner that
// must not wait for ever joins with a limit (JoinFor) and, when the thread does not come back in
// time, may leave it (Detach): the thread then owns whatever it still uses.

#include <chrono>
#include <functional>
#include <memory>
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
    // Joins once the thread's function has returned, waiting at most `limit`; false when it is
    // still running (the thread stays started).
    bool JoinFor(std::chrono::milliseconds limit);
    // Leaves a started thread to run on its own.
    void Detach();

  private:
    struct Ending;
    std::shared_ptr<Ending> ending_;
    std::thread thread_;
};

}  // namespace fw

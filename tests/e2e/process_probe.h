#pragma once
// What the test process holds, read from /proc: threads, descriptors, CPU time. Any thread.

#include <string>

namespace e2e {

// The process's threads, less the workers of Qt's global thread pool, which Qt starts and ends on
// its own: the main thread and the threads the program starts (the console reader, the port
// watcher).
int ProgramThreadCount();
// Descriptors of this process open on `path` (a device such as a pty slave).
int DescriptorsOpenOn(const std::string& path);
// CPU time used by the whole process so far, all threads, in seconds.
double ProcessCpuSeconds();

// Sends what the process writes to standard error into a file until Stop. Test thread; nothing
// else may redirect standard error meanwhile.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Restores standard error; returns what was written to it meanwhile.
    std::string Stop();

  private:
    int saved_ = -1;
    int file_ = -1;
};

}  // namespace e2e

#pragma once
// The console reader's news for the run loop: the device asked for the data file, or the reader has
// ended the run. The run loop sleeps in WaitForNewsOrStop until one of them, or a stop request
// (stop_signals.h), comes. The build picks the waiting side: posix_run_mailbox.cpp on Linux (an
// eventfd beside the stop's pipe in one poll()), win32_run_mailbox.cpp on Windows (two events in
// one WaitForMultipleObjects).
//
// Thread contract: Post* on the console reader's thread; everything else on the main thread. A data
// request that comes while an upload runs is dropped, as the window program drops it: the device is
// repeating itself.

#include <cstdint>
#include <mutex>

class RunMailbox {
  public:
    RunMailbox();
    ~RunMailbox();
    RunMailbox(const RunMailbox&) = delete;
    RunMailbox& operator=(const RunMailbox&) = delete;

    // False when the system gave nothing to wait on.
    bool Ready() const;

    void PostDataRequest();
    void PostRunEnded();

    struct News {
        bool dataRequest = false;
        bool runEnded = false;
    };
    // What came since the last call; the mailbox is quiet again afterwards.
    News Take();
    // Between these, data requests are dropped.
    void BeginUpload();
    void EndUpload();

    enum class Wake {
        kNews,    // Take() has something
        kStop,    // a stop was requested
        kFailed,  // the wait itself failed; `error` holds the system's code
    };
    Wake WaitForNewsOrStop(int& error);

  private:
    void Signal();
    void Quiet();

    // What the wait sleeps on: an eventfd on POSIX, an event on Windows.
    std::intptr_t signal_ = -1;
    std::mutex mutex_;
    News pending_;
    bool uploading_ = false;
};

#pragma once
// The console reader's news for the run loop: the device asked for the data file, or the reader has
// ended the run. The run loop sleeps in poll() on Descriptor() (beside the stop signals'
// descriptor) until one of them comes.
//
// Thread contract: Post* on the console reader's thread; everything else on the main thread. A data
// request that comes while an upload runs is dropped, as the window program drops it: the device is
// repeating itself.

#include <mutex>

class RunMailbox {
  public:
    RunMailbox();
    ~RunMailbox();
    RunMailbox(const RunMailbox&) = delete;
    RunMailbox& operator=(const RunMailbox&) = delete;

    // False when the eventfd could not be created.
    bool Ready() const { return eventFd_ >= 0; }
    int Descriptor() const { return eventFd_; }

    void PostDataRequest();
    void PostRunEnded();

    struct News {
        bool dataRequest = false;
        bool runEnded = false;
    };
    // What came since the last call; makes the descriptor quiet again.
    News Take();
    // Between these, data requests are dropped.
    void BeginUpload();
    void EndUpload();

  private:
    void Wake();

    int eventFd_ = -1;
    std::mutex mutex_;
    News pending_;
    bool uploading_ = false;
};

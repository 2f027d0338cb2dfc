#pragma once
// The news for a run loop: from the console reader, that the device asked for the data file or
// that the reader has ended the run; from a station's main thread, that the ports may have changed
// or that the port is to finish. The loop sleeps in WaitForNewsOrStop until news, a stop request
// (stop_signals.h) or its deadline comes (wake_signal.h does the waiting on either system).
//
// Thread contract: PostDataRequest and PostRunEnded on the console reader's thread,
// PostPortsChanged and PostFinish on any thread; everything else on the loop's thread. A data
// request that comes while an upload runs is dropped, as the window program drops it: the device
// is repeating itself.

#include <chrono>
#include <mutex>
#include <optional>

#include "cli/wake_signal.h"

class RunMailbox {
  public:
    // False when the system gave nothing to wait on.
    bool Ready() const { return signal_.Ready(); }

    void PostDataRequest();
    void PostRunEnded();
    void PostPortsChanged();
    void PostFinish();

    struct News {
        bool dataRequest = false;
        bool runEnded = false;
        bool finish = false;  // stays set once posted
    };
    // What came since the last call; the mailbox is quiet again afterwards.
    News Take();
    // Between these, data requests are dropped.
    void BeginUpload();
    void EndUpload();
    // Forgets what the reader of a run that is over said and the loop did not take.
    void DropRunNews();

    enum class Wake {
        kNews,      // Take() has something
        kStop,      // a stop was requested
        kTimedOut,  // `until` passed
        kFailed,    // the wait itself failed; `error` holds the system's code
    };
    Wake WaitForNewsOrStop(int& error,
                           std::optional<std::chrono::steady_clock::time_point> until = {});

  private:
    WakeSignal signal_;
    std::mutex mutex_;
    News pending_;
    bool uploading_ = false;
};

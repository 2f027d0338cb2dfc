#pragma once
// The shared record behind WindowHandle: who the window is, and which senders wait for it.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/win_types.h"

namespace fw {
class Window;
}

namespace fw::detail {

// One synchronous send: the sender waits until it is finished, whether the call ran or was dropped.
class PendingSend {
  public:
    void Finish(LRESULT result);
    void Cancel() { Finish(0); }
    LRESULT Wait();  // sender's thread

  private:
    std::mutex mutex_;
    std::condition_variable finished_cv_;
    bool finished_ = false;
    LRESULT result_ = 0;
};

class WindowLink {
  public:
    explicit WindowLink(Window* window) : window_(window) {}

    Window* Get() const;  // UI thread
    bool IsAlive() const;
    // Registers a waiting sender; false when the window is already gone.
    bool AddPending(const std::shared_ptr<PendingSend>& send);
    void RemovePending(const std::shared_ptr<PendingSend>& send);
    // UI thread, as the window goes: no new sends, and every waiting sender is released.
    void Sever();

  private:
    mutable std::mutex mutex_;
    Window* window_;
    std::vector<std::shared_ptr<PendingSend>> pending_;
};

// The link of a window that does not exist: every handle to it is dead.
std::shared_ptr<WindowLink> DeadLink();

}  // namespace fw::detail

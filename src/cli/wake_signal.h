#pragma once
// A wake-up that one thread raises and another sleeps on beside other things (the stop's object,
// the port monitor's), and the one wait for several of them. The build picks the implementation:
// posix_wake_signal.cpp (an eventfd; poll()) on Linux, win32_wake_signal.cpp (a manual-reset
// event; WaitForMultipleObjects) on Windows.
//
// Thread contract: Raise from any thread; Lower and the waits on the thread that waits.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// What a wait sleeps on: a descriptor that turns readable (POSIX) or an event's HANDLE (Windows).
using WaitObject = std::intptr_t;

class WakeSignal {
  public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // False when the system gave nothing to wait on.
    bool Ready() const;
    void Raise();
    // Before the waiting thread looks at what the raise announced, so that no later raise is lost.
    void Lower();
    WaitObject Object() const { return object_; }

  private:
    WaitObject object_;
};

enum class WaitOutcome {
    kSignalled,  // `which` says which object
    kTimedOut,   // `until` passed first
    kFailed,     // the wait itself failed; `error` holds the system's code
};

// Sleeps until one of `objects` is signalled or `until` (never, when empty) has passed.
WaitOutcome WaitForAny(std::span<const WaitObject> objects,
                       std::optional<std::chrono::steady_clock::time_point> until,
                       std::size_t& which, int& error);

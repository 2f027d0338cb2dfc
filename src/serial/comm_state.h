// CommState: the connection record behind CCommPort, shared with the port watcher thread. Who may
// touch what is noted at each field; the joinable std::thread itself is CCommPort's own.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "serial/serial_device.h"

struct CommState {
    // Opened and closed by the owning (UI) thread, closed only once the watcher has ended; the
    // watcher waits and reads on it meanwhile (serial_device.h says which calls run where).
    std::unique_ptr<SerialDevice> port;
    // 1 while the port is open and the watcher may run. Written by the owning thread.
    std::atomic<int> connected{0};
    // Stored by OpenPort before the watcher does any work, cleared by the watcher as it ends.
    std::atomic<std::thread::native_handle_type> watcherHandle{};
    std::atomic<std::thread::id> watcherId{};
};

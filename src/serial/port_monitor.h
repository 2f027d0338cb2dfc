// PortMonitor: tells, without polling, that the set of serial ports may have changed (an adapter
// plugged in or pulled, a port named by the operator made or removed), so that its user scans
// again (port_discovery.h, port_set.h) only then.
//
// How it works. The system's own change notices wake it; a burst of them is coalesced into one
// notice: udev makes the node, then its links, then fixes its permissions within milliseconds,
// and a scan in the middle of that would see half a port. A burst ends once nothing has changed
// for `quiet`, and at the latest `longest` after its first change, so a port is seen well within a
// second of appearing.
//  - Linux (posix_port_monitor.cpp): inotify on <dev> (tty* entries), on <dev>/serial/by-id and
//    by-path, or, with ports named, on the folder of each name and of what it resolves to (a link
//    to /dev/ttyUSB0 or to a pseudo-terminal). A folder that does not exist yet (by-id before the
//    first adapter) is waited for by watching the nearest folder above it. A timer ends the
//    burst; both sit behind one epoll descriptor, which is the object to wait on.
//  - Windows (win32_port_monitor.cpp): a change notice on the registry's list of serial ports
//    (HARDWARE\DEVICEMAP\SERIALCOMM), which the serial drivers keep as ports come and go; until
//    that key exists, on DEVICEMAP for its creation. A thread of the monitor's own waits for the
//    notices and times the burst, then signals an event, which is the object to wait on.
//
// Use: make the monitor, then scan; wait on WaitObject() beside whatever else the loop waits for
// (a stop); when it is signalled, call TakeNotice() and scan again when it says so. A change after
// the scan that TakeNotice() asked for signals the object again, so nothing is lost in between.
//
// Thread contract: one thread owns the monitor and makes every call, destruction included; it may
// wait on WaitObject() as long as the monitor lives. The Windows monitor's own thread touches
// none of the caller's state and ends in the destructor.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "serial/port_scan.h"
#include "serial/port_wait_object.h"

struct PortMonitorSettings {
    // Linux: where <dev> is (tests point it at a fake tree).
    SystemRoots roots;
    // The ports the operator named (paths on Linux); empty: the system's ports. Windows lists
    // named COM ports among its own, so there the list changes nothing.
    std::vector<std::string> namedPaths;
    std::chrono::milliseconds quiet{100};
    std::chrono::milliseconds longest{500};
};

class PortMonitor {
  public:
    explicit PortMonitor(const PortMonitorSettings& settings);
    ~PortMonitor();
    PortMonitor(const PortMonitor&) = delete;
    PortMonitor& operator=(const PortMonitor&) = delete;

    // Signalled while something waits to be taken: readable (POLLIN) on Linux, a manual-reset
    // event on Windows. kNoWaitObject when the monitor could not start (see Failure()).
    PortWaitObject WaitObject() const;

    // Takes what signalled the object. True once a burst of changes has settled: scan again now.
    // False when nothing relevant happened or a burst is still going on (the object is signalled
    // again when it ends). Never waits.
    bool TakeNotice();

    // Empty while every change can be seen; otherwise what cannot be seen and why, with the
    // failing call and its error ("inotify_add_watch /dev/serial/by-id: Permission denied").
    std::string Failure() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

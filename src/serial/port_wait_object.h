// PortWaitObject: what a PortWaiter (port_waiter.h) waits on until a port can take bytes again,
// and what a PortMonitor (port_monitor.h) signals when the ports may have changed. The one type
// that differs between the platforms, so it is chosen here rather than in a platform file: a
// descriptor on POSIX (polled for POLLOUT or POLLIN), a HANDLE on Windows (an event that the write
// in flight signals as it completes, or that the monitor sets). Portable code only passes it
// along.
#pragma once

#if defined(_WIN32)
using PortWaitObject = void*;
inline constexpr PortWaitObject kNoWaitObject = nullptr;
#else
using PortWaitObject = int;
inline constexpr PortWaitObject kNoWaitObject = -1;
#endif

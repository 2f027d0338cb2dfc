// PortWaitObject: what a PortWaiter (port_waiter.h) waits on until a port can take bytes again.
// The one type that differs between the platforms, so it is chosen here rather than in a platform
// file: a descriptor on POSIX (the waiter polls it for POLLOUT), a HANDLE on Windows (an event
// that the write in flight signals as it completes). Portable code only passes it along.
#pragma once

#if defined(_WIN32)
using PortWaitObject = void*;
inline constexpr PortWaitObject kNoWaitObject = nullptr;
#else
using PortWaitObject = int;
inline constexpr PortWaitObject kNoWaitObject = -1;
#endif

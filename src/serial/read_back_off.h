// The port watcher's pause before its next read after one that brought nothing. A read is asked to
// wait up to kIdleRead for a byte; a driver that ignores that and ends every read at once with
// nothing would have the watcher spin a core. After such a read the watcher pauses, from
// kFirstReadBackOff doubling up to kLastReadBackOff while it goes on, and a read that waited as
// asked, or brought bytes, needs no pause. Pure; any thread.
#pragma once

#include <chrono>

inline constexpr std::chrono::milliseconds kIdleRead{100};
inline constexpr std::chrono::milliseconds kFirstReadBackOff{10};
inline constexpr std::chrono::milliseconds kLastReadBackOff{kIdleRead};

// The pause before the next read, after an empty read that lasted `readLasted` and came after a
// pause of `previous` (0 for none).
std::chrono::milliseconds NextReadBackOff(std::chrono::steady_clock::duration readLasted,
                                          std::chrono::milliseconds previous);

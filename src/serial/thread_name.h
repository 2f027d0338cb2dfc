// Names the calling thread, so that the name shows in top, gdb, a debugger's thread list and
// per-thread CPU figures. The build picks the implementation: posix_thread_name.cpp
// (pthread_setname_np) or win32_thread_name.cpp (SetThreadDescription where Windows has it).
// Best effort: a system without thread names leaves the thread unnamed. Any thread, for itself.
#pragma once

void NameCurrentThread(const char* name);

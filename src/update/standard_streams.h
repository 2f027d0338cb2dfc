#pragma once
// Standard output and standard error as the programs write to them: all of a text, going on after
// interruptions and short writes. The build picks the implementation: posix_standard_streams.cpp
// on Linux, where WriteAll uses write(2) alone, so that a signal handler may call it too;
// win32_standard_streams.cpp on Windows.

#include <string_view>

// The descriptors of standard output and standard error.
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// False, with errno set (EIO when the system took nothing), when the descriptor refused; what went
// before stays written.
bool WriteAll(int fd, std::string_view text);

// The descriptor is a terminal (a console), where a line can be redrawn in place.
bool IsTerminal(int fd);
// The width of the terminal (console window) the descriptor writes to, in columns; 0 when it is
// none or does not say.
int TerminalColumns(int fd);

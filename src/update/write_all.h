#pragma once
// Writing all of a text to a descriptor, going on after interruptions and short writes. Uses
// write(2) alone, so a signal handler may call it too.

#include <string_view>

// False, with errno set (EIO when the system took nothing), when the descriptor refused; what went
// before stays written.
bool WriteAll(int fd, std::string_view text);

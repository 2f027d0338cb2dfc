#pragma once
// The system's words for one of its error codes (errno on POSIX, GetLastError() on Windows), as the
// data file's and the record's problems carry them. Any thread.

#include <string>

std::string SystemErrorText(int error);

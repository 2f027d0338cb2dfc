#pragma once
// Texts are UTF-8 inside the program and UTF-16 at the Windows API. Plain code without system calls,
// so that the conversion is the same on every system and testable on any; win32_api.h gives the
// Windows spellings (WideFromUtf8, Utf8FromWide). Any thread.

#include <string>
#include <string_view>

// A byte that is not part of valid UTF-8 becomes U+FFFD.
std::u16string ToUtf16(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string FromUtf16(std::u16string_view utf16);

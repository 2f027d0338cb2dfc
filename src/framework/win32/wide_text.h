#pragma once
// Texts are UTF-8 inside the program and UTF-16 at the Windows API. Plain code, no system calls, so
// that the conversions are the same everywhere and testable on any system. Internal to the
// framework.

#include <string>
#include <string_view>

namespace fw::win32 {

// A byte that is not part of valid UTF-8 becomes U+FFFD.
std::u16string ToUtf16(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string FromUtf16(std::u16string_view utf16);

#if defined(_WIN32)
// The same for the API's wide strings, which are UTF-16 on Windows.
inline std::wstring Widen(std::string_view text) {
    const std::u16string wide = ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}
inline std::string Narrow(std::wstring_view text) {
    return FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}
#endif

}  // namespace fw::win32

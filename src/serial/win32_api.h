// <windows.h> for the serial layer's Win32 files: include this instead of it. Windows defines
// NOPARITY, ONESTOPBIT, DTR_CONTROL_HANDSHAKE and the like as macros, which would turn the
// constants of the same names in device_control_block.h into nonsense; with that header first,
// the macros come later and only repeat the same values.
#pragma once

// Before <windows.h>:
#include "serial/device_control_block.h"
// Then:
#include <windows.h>

#include <string>
#include <string_view>

#include "serial/utf16.h"

// UTF-8 to UTF-16 and back, for the wide Win32 calls; invalid sequences become U+FFFD.
inline std::wstring WideFromUtf8(std::string_view text) {
    const std::u16string wide = ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}
inline std::string Utf8FromWide(std::wstring_view text) {
    return FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

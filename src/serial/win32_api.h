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

// UTF-8 to UTF-16 and back, for the wide Win32 calls; invalid sequences become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

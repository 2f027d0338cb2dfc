#pragma once
// JSON string literals for the update record. Pure functions; any thread.

#include <string>
#include <string_view>

// Appends `text` to `out` as a JSON string, quotes included. Quote, backslash and every control
// character (below 0x20, and DEL) are escaped, so a record stays one line whatever the device or a
// file name holds. Valid UTF-8 passes through; a byte that is not part of valid UTF-8 becomes
// U+FFFD, so the line stays valid JSON.
void AppendJsonString(std::string& out, std::string_view text);

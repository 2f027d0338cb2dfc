#pragma once
// Message formatting: "%1" to "%9" replaced by the arguments of that number. FitTextBuffer and
// FormatText are plain C++ (target text_format); FormatMessage reads the registered resources and
// comes with the framework.

#include <initializer_list>
#include <string>
#include <string_view>

namespace fw {

// Texts are loaded into a buffer of this many bytes, terminator included.
inline constexpr std::size_t kTextBufferSize = 256;

// Cuts `text` to fit the text buffer, never inside a UTF-8 character.
std::string_view FitTextBuffer(std::string_view text);

// Replaces "%1".."%9" by the argument of that number ("?" when there are fewer arguments); any
// other percent sign is copied unchanged. The pattern is first fitted to the text buffer.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);

// FormatText over the text with number `id`; empty when there is no such text.
std::string FormatMessage(int id, std::initializer_list<std::string_view> args);

}  // namespace fw

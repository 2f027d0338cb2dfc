#include "framework/text_format.h"

namespace fw {

std::string_view FitTextBuffer(std::string_view text) {
    constexpr std::size_t limit = kTextBufferSize - 1;
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    // Step back over continuation bytes so that the cut falls before a character's lead byte.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args) {
    pattern = FitTextBuffer(pattern);
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            std::size_t n = static_cast<std::size_t>(pattern[i + 1] - '1');
            out += n < args.size() ? *(args.begin() + n) : std::string_view("?");
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace fw

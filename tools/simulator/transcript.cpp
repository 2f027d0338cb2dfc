#include "simulator/transcript.h"

#include <array>

namespace qelp::sim {

std::string escapeBytes(std::string_view bytes) {
    static constexpr std::array<char, 16> kHex{'0', '1', '2', '3', '4', '5', '6', '7',
                                               '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\\':
                text += "\\\\";
                break;
            default:
                if (byte >= 0x20 && byte < 0x7F) {
                    text += c;
                } else {
                    text += "\\x";
                    text += kHex[byte >> 4];
                    text += kHex[byte & 0x0F];
                }
        }
    }
    return text;
}

std::string hex64(std::uint64_t value) {
    std::array<char, 17> digits{};
    std::snprintf(digits.data(), digits.size(), "%016llx", static_cast<unsigned long long>(value));
    return std::string(digits.data(), 16);
}

std::string millisText(std::chrono::milliseconds ms) {
    return std::to_string(ms.count()) + " ms";
}

void OutputLines::line(std::string_view text) {
    std::string whole(text);
    whole += '\n';
    const std::lock_guard lock(mutex_);
    std::fwrite(whole.data(), 1, whole.size(), out_);
    std::fflush(out_);
}

void Transcript::device(std::string_view sent) {
    if (!sent.empty() && sent.back() == '\n') sent.remove_suffix(1);
    prefixed("device> ", escapeBytes(sent));
}

void Transcript::result(std::string_view text, std::string_view json) {
    std::string both = portPrefix_ + "result: ";
    both += text;
    both += '\n';
    both += json;
    out_.line(both);
}

void Transcript::prefixed(std::string_view prefix, std::string_view text) {
    std::string whole = portPrefix_;
    whole += prefix;
    whole += text;
    out_.line(whole);
}

}  // namespace qelp::sim

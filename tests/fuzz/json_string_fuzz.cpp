// The update record's JSON strings over arbitrary bytes (a device line, a file name): the output
// is exactly one JSON string literal that a strict decoder takes, on one line, and it decodes to
// the input with every byte that is not part of valid UTF-8 replaced by U+FFFD.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "fuzz/utf8_oracle.h"
#include "update/json_text.h"

namespace {

using fuzz::Check;

std::optional<char32_t> Hex4(std::string_view json, std::size_t at) {
    if (json.size() - at < 4) return std::nullopt;
    char32_t value = 0;
    for (const char c : json.substr(at, 4)) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<char32_t>(digit);
    }
    return value;
}

// The text of the one JSON string literal that is the whole of `json` (RFC 8259, strictly: no raw
// control characters, only the defined escapes, paired surrogates, valid UTF-8); empty when
// `json` is anything else.
std::optional<std::string> DecodeJsonString(std::string_view json) {
    if (json.size() < 2 || json.front() != '"') return std::nullopt;
    std::string text;
    std::size_t at = 1;
    while (at < json.size() && json[at] != '"') {
        if (static_cast<std::uint8_t>(json[at]) < 0x20) return std::nullopt;
        if (json[at] != '\\') {
            const auto c = fuzz::DecodeUtf8At(json, at);
            if (!c) return std::nullopt;
            text.append(json.substr(at, c->length));
            at += c->length;
            continue;
        }
        if (++at == json.size()) return std::nullopt;
        const char escape = json[at++];
        constexpr std::string_view kEscapes = "\"\\/bfnrt";
        constexpr std::string_view kMeanings = "\"\\/\b\f\n\r\t";
        if (const auto simple = kEscapes.find(escape); simple != std::string_view::npos) {
            text.push_back(kMeanings[simple]);
            continue;
        }
        if (escape != 'u') return std::nullopt;
        std::optional<char32_t> c = Hex4(json, at);
        if (!c || (*c >= 0xDC00 && *c <= 0xDFFF)) return std::nullopt;
        at += 4;
        if (*c >= 0xD800 && *c <= 0xDBFF) {
            if (json.substr(at, 2) != "\\u") return std::nullopt;
            const std::optional<char32_t> low = Hex4(json, at + 2);
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((*c - 0xD800) << 10) + (*low - 0xDC00);
            at += 6;
        }
        fuzz::AppendUtf8(text, *c);
    }
    if (at + 1 != json.size()) return std::nullopt;  // no closing quote, or more after it
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string out = "{\"last_line\":";
    const std::size_t before = out.size();
    AppendJsonString(out, input);
    Check(out.starts_with("{\"last_line\":"));
    const std::string_view json = std::string_view(out).substr(before);
    // DEL is escaped like the other control characters, though JSON would take it raw.
    Check(json.find('\x7f') == std::string_view::npos);

    const std::optional<std::string> decoded = DecodeJsonString(json);
    Check(decoded.has_value());
    std::string expected;
    for (std::size_t at = 0; at < input.size();) {
        const auto c = fuzz::DecodeUtf8At(input, at);
        expected.append(c ? input.substr(at, c->length) : "\xEF\xBF\xBD");
        at += c ? c->length : 1;
    }
    Check(*decoded == expected);
    return 0;
}

// "%1".."%9" formatting over arbitrary bytes: the input's NUL bytes part the pattern from up to
// ten arguments. The fitted pattern is a prefix that never ends inside a character, and valid
// UTF-8 in gives valid UTF-8 out.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/text_format.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/utf8_oracle.h"

namespace {

using fuzz::Check;
using Args = std::vector<std::string_view>;

// FormatText takes an initializer list: one caller for each number of arguments.
template <std::size_t... I>
std::string FormatWith(std::string_view pattern, const Args& args, std::index_sequence<I...>) {
    return fw::FormatText(pattern, {args[I]...});
}
template <std::size_t... N>
constexpr auto Formatters(std::index_sequence<N...>) {
    return std::array{+[](std::string_view pattern, const Args& args) {
        return FormatWith(pattern, args, std::make_index_sequence<N>());
    }...};
}
constexpr auto kFormatters = Formatters(std::make_index_sequence<11>());

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Pieces pieces(data, size);
    const std::string_view pattern = pieces.Views().front();
    const Args args(pieces.Views().begin() + 1,
                    pieces.Views().begin() + std::min<std::size_t>(pieces.Views().size(), 11));

    const std::string_view fitted = fw::FitTextBuffer(pattern);
    Check(fitted.data() == pattern.data() && fitted.size() < fw::kTextBufferSize);
    if (pattern.size() < fw::kTextBufferSize) {
        Check(fitted.size() == pattern.size());
    } else if (fuzz::IsValidUtf8(pattern)) {
        // Cut before a character's first byte, at most three bytes short of the buffer.
        Check(fuzz::IsValidUtf8(fitted) && fitted.size() + 4 >= fw::kTextBufferSize);
    }

    const std::string out = kFormatters[args.size()](pattern, args);
    Check(out == kFormatters[args.size()](fitted, args));
    if (fitted.find('%') == std::string_view::npos) Check(out == fitted);
    if (fuzz::IsValidUtf8(fitted) && std::all_of(args.begin(), args.end(), fuzz::IsValidUtf8)) {
        Check(fuzz::IsValidUtf8(out));
    }
    return 0;
}

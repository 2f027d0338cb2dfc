#pragma once
// What the fuzz targets share: a check that stops the run with a finding, and the input cut into
// pieces at NUL bytes (command-line arguments, a pattern and its arguments), each piece in a heap
// block of its own size, so that AddressSanitizer catches a read past any piece's end.

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace fuzz {

// A property that must hold for any input; libFuzzer keeps the input that breaks it.
inline void Check(bool holds) {
    if (!holds) std::abort();
}

class Pieces {
  public:
    Pieces(const std::uint8_t* data, std::size_t size) {
        const auto* text = reinterpret_cast<const char*>(data);
        std::size_t start = 0;
        for (std::size_t i = 0; i <= size; ++i) {
            if (i < size && data[i] != 0) continue;
            pieces_.emplace_back(text + start, text + i);
            start = i + 1;
        }
        for (const std::vector<char>& piece : pieces_)
            views_.emplace_back(piece.data(), piece.size());
    }
    const std::vector<std::string_view>& Views() const { return views_; }

  private:
    std::vector<std::vector<char>> pieces_;
    std::vector<std::string_view> views_;
};

}  // namespace fuzz

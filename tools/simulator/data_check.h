#pragma once
// Checks the bytes of one transfer as they arrive: against the expected file when there is one,
// otherwise it counts them, hashes them (FNV-1a, 64 bits) and keeps a copy, so that a second
// transfer can be compared with the first. Either way it takes their SHA-256, the fingerprint the
// update record gives the file that went out.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "update/sha256.h"

namespace qelp::sim {

constexpr std::uint64_t kFnv1a64Basis = 0xcbf29ce484222325ULL;
std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes, std::uint64_t hash = kFnv1a64Basis);

class DataCheck {
  public:
    DataCheck() = default;
    explicit DataCheck(std::vector<std::uint8_t> expected);

    void add(std::span<const std::uint8_t> bytes);

    bool hasExpectation() const { return expected_.has_value(); }
    std::size_t expectedSize() const { return expected_ ? expected_->size() : 0; }
    bool complete() const { return expected_ && received_ >= expected_->size(); }
    std::size_t received() const { return received_; }
    std::uint64_t hash() const { return hash_; }
    std::string sha256Hex() const;
    const std::vector<std::uint8_t>& copy() const { return copy_; }

    // Where the transfer departs from the expected file if only its first `wanted` bytes count
    // (the whole file when absent): the first differing byte, the end of a short transfer, or the
    // first byte too many. Empty when it matches, and when there is no expectation.
    std::optional<std::size_t> mismatchAt(std::optional<std::size_t> wanted = std::nullopt) const;

  private:
    std::optional<std::vector<std::uint8_t>> expected_;
    std::vector<std::uint8_t> copy_;
    std::optional<std::size_t> firstDifference_;
    std::size_t received_ = 0;
    std::uint64_t hash_ = kFnv1a64Basis;
    Sha256 sha256_;
};

}  // namespace qelp::sim

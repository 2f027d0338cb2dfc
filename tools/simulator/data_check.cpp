#include "simulator/data_check.h"

#include <algorithm>
#include <utility>

namespace qelp::sim {

std::uint64_t fnv1a64(std::span<const std::uint8_t> bytes, std::uint64_t hash) {
    constexpr std::uint64_t kPrime = 0x100000001b3ULL;
    for (const std::uint8_t byte : bytes) {
        hash ^= byte;
        hash *= kPrime;
    }
    return hash;
}

DataCheck::DataCheck(std::vector<std::uint8_t> expected) : expected_(std::move(expected)) {}

void DataCheck::add(std::span<const std::uint8_t> bytes) {
    if (expected_) {
        if (!firstDifference_) {
            const std::size_t comparable =
                std::min(bytes.size(), expected_->size() - std::min(received_, expected_->size()));
            for (std::size_t i = 0; i < comparable; ++i) {
                if (bytes[i] != (*expected_)[received_ + i]) {
                    firstDifference_ = received_ + i;
                    break;
                }
            }
        }
    } else {
        copy_.insert(copy_.end(), bytes.begin(), bytes.end());
    }
    hash_ = fnv1a64(bytes, hash_);
    sha256_.Update(bytes.data(), bytes.size());
    received_ += bytes.size();
}

std::string DataCheck::sha256Hex() const {
    Sha256 finished = sha256_;  // finishing pads, and more bytes may follow
    return Sha256::Hex(finished.Finish());
}

std::optional<std::size_t> DataCheck::mismatchAt(std::optional<std::size_t> wanted) const {
    if (!expected_) return std::nullopt;
    const std::size_t target = std::min(wanted.value_or(expected_->size()), expected_->size());
    if (firstDifference_ && *firstDifference_ < target) return firstDifference_;
    if (received_ < target) return received_;
    if (!wanted && received_ > expected_->size()) return expected_->size();
    return std::nullopt;
}

}  // namespace qelp::sim

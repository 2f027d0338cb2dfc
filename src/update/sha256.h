#pragma once
// SHA-256 (FIPS 180-4), for the update record's fingerprint of the data file. Incremental: feed the
// bytes in any number of pieces, then take the digest once. Any thread; one object per thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
  public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void Update(const void* data, std::size_t length);
    // Pads and returns the digest; the object must not be fed afterwards.
    Digest Finish();

    // Lower-case hexadecimal, 64 characters.
    static std::string Hex(const Digest& digest);

  private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingLength_ = 0;
    std::uint64_t totalBytes_ = 0;
};

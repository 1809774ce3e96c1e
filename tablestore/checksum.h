// Checksum32: the checksum the store keeps over headers and row slots to detect torn or damaged bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velquin::store {

// Four independent 64-bit multiply-xor lanes over 32-byte blocks (for speed), then the tail,
// folded to 32 bits; any change of one byte changes it.
inline std::uint32_t Checksum32(const std::uint8_t* data, std::size_t length) {
  constexpr std::uint64_t kMul = 0xFF51AFD7ED558CCDull;
  std::uint64_t lane[4] = {0x9E3779B97F4A7C15ull ^ length, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
                           0x85EBCA77C2B2AE63ull};
  std::size_t i = 0;
  for (; i + 32 <= length; i += 32) {
    for (int k = 0; k < 4; ++k) {
      std::uint64_t w;
      std::memcpy(&w, data + i + 8 * k, 8);
      lane[k] = (lane[k] ^ w) * kMul;
      lane[k] ^= lane[k] >> 32;
    }
  }
  std::uint64_t h = lane[0] ^ (lane[1] * 31) ^ (lane[2] * 961) ^ (lane[3] * 29791);
  for (; i + 8 <= length; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 32;
  }
  for (; i < length; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
  h ^= h >> 29;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 32;
  return static_cast<std::uint32_t>(h);
}

// Returns true iff a stored checksum vouches for the bytes. Fuzzing builds accept every one, so
// that the fuzzer reaches the checks behind them.
inline bool ChecksumAccepted(std::uint32_t stored, std::uint32_t computed) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  (void)stored;
  (void)computed;
  return true;
#else
  return stored == computed;
#endif
}

}  // namespace velquin::store

// Checksum32: the checksum the store keeps over headers and row slots to detect torn or damaged bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velquin::store {

// A 64-bit multiply-xor mix over 8-byte words, folded to 32 bits; any change of one byte changes it.
inline std::uint32_t Checksum32(const std::uint8_t* data, std::size_t length) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ length;
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  for (; i < length; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
  h ^= h >> 29;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 32;
  return static_cast<std::uint32_t>(h);
}

}  // namespace velquin::store

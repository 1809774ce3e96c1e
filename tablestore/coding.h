// Fixed-width little-endian integers and the stored form of a date-time: the encodings both
// table files are made of.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace velquin::store {

static_assert(std::endian::native == std::endian::little, "the file layouts are written in host order");

inline std::uint16_t Get16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline std::uint32_t Get32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Put16(std::uint8_t* p, std::uint32_t v) {
  const auto w = static_cast<std::uint16_t>(v);
  std::memcpy(p, &w, 2);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// A date-time is stored as whole milliseconds since the first day of year 1 (rounded half to
// even), in an IEEE double; in memory it is days since 30 December 1899.
inline constexpr double kMsPerDay = 86400000.0;
inline constexpr double kDateDeltaMs = 693594.0 * kMsPerDay;  // year 1 to 30 December 1899
inline double StoredMsOf(double days) { return std::nearbyint(days * kMsPerDay + kDateDeltaMs); }
inline double DaysOf(double storedMs) { return (storedMs - kDateDeltaMs) / kMsPerDay; }

}  // namespace velquin::store

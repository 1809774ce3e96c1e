#include "matching/signature_ranking.h"

#include <algorithm>
#include <numeric>

namespace velquin {
namespace {

constexpr int kPrefixBytes = 8;
constexpr int kByteValues = 256;

// The key's first eight bytes as a big-endian number (a shorter key padded with 0): comparing two
// prefixes orders their keys unless the prefixes are equal.
std::uint64_t Prefix(std::string_view key) {
  std::uint64_t word = 0;
  for (std::size_t b = 0; b < kPrefixBytes; ++b)
    word = word << 8 | (b < key.size() ? static_cast<std::uint8_t>(key[b]) : 0u);
  return word;
}

}  // namespace

std::vector<std::uint32_t> RankByKey(std::uint32_t rows, const TKeyOf& keyOf, const TOrderTies& orderTies) {
  std::vector<std::uint32_t> byKey(rows);
  std::iota(byKey.begin(), byKey.end(), 0u);
  // The prefixes decide most comparisons without touching the keys: a stable radix sort on them, then
  // the keys of equal prefixes compared whole.
  std::vector<std::uint64_t> prefix(rows);
  for (std::uint32_t row = 0; row < rows; ++row) prefix[row] = Prefix(keyOf(row));
  std::vector<std::uint32_t> scratch(rows);
  for (int shift = 0; shift < kPrefixBytes * 8; shift += 8) {
    std::size_t counts[kByteValues + 1] = {};
    for (const std::uint32_t row : byKey) ++counts[((prefix[row] >> shift) & 0xFF) + 1];
    for (int b = 0; b < kByteValues; ++b) counts[b + 1] += counts[b];
    for (const std::uint32_t row : byKey) scratch[counts[(prefix[row] >> shift) & 0xFF]++] = row;
    byKey.swap(scratch);
  }
  for (std::uint32_t begin = 0; begin < rows;) {
    std::uint32_t end = begin + 1;
    while (end < rows && prefix[byKey[end]] == prefix[byKey[begin]]) ++end;
    if (end - begin > 1) {
      std::uint32_t* const first = &byKey[begin];
      std::uint32_t* const last = first + (end - begin);
      // Stable: equal keys stay in ascending row number, as orderTies expects them.
      std::stable_sort(first, last, [&](std::uint32_t x, std::uint32_t y) { return keyOf(x) < keyOf(y); });
      for (std::uint32_t* same = first; same != last;) {
        std::uint32_t* next = same + 1;
        while (next != last && keyOf(*next) == keyOf(*same)) ++next;
        if (next - same > 1) orderTies(std::span<std::uint32_t>(same, next));
        same = next;
      }
    }
    begin = end;
  }
  return byKey;
}

}  // namespace velquin

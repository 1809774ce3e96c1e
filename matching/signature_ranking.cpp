#include "matching/signature_ranking.h"

#include <algorithm>

#include "platform/large_pages.h"

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
  // The prefixes decide most comparisons without touching the keys: a stable radix sort on them, each
  // row carried beside its prefix so that a pass reads its records in a stream, not the prefixes by
  // row at random; then the keys of equal prefixes compared whole.
  struct TPrefixed {
    std::uint64_t Prefix;
    std::uint32_t Row;
  };
  TLargeArray<TPrefixed> byKey(rows);
  for (std::uint32_t row = 0; row < rows; ++row) byKey[row] = {Prefix(keyOf(row)), row};
  TLargeArray<TPrefixed> scratch(rows);
  for (int shift = 0; shift < kPrefixBytes * 8; shift += 8) {
    std::size_t counts[kByteValues + 1] = {};
    for (const TPrefixed& r : byKey) ++counts[((r.Prefix >> shift) & 0xFF) + 1];
    // A byte every prefix shares moves nothing.
    if (std::find(std::begin(counts), std::end(counts), std::size_t{rows}) != std::end(counts)) continue;
    for (int b = 0; b < kByteValues; ++b) counts[b + 1] += counts[b];
    for (const TPrefixed& r : byKey) scratch[counts[(r.Prefix >> shift) & 0xFF]++] = r;
    byKey.swap(scratch);
  }
  scratch = {};
  std::vector<std::uint32_t> ranked(rows);
  for (std::uint32_t rank = 0; rank < rows; ++rank) ranked[rank] = byKey[rank].Row;
  for (std::uint32_t begin = 0; begin < rows;) {
    std::uint32_t end = begin + 1;
    while (end < rows && byKey[end].Prefix == byKey[begin].Prefix) ++end;
    if (end - begin > 1) {
      std::uint32_t* const first = &ranked[begin];
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
  return ranked;
}

}  // namespace velquin

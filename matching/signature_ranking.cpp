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

struct TPrefixed {
  std::uint64_t Prefix;
  std::uint32_t Row;
};

std::uint32_t ByteAt(const TPrefixed& record, int shift) {
  return static_cast<std::uint32_t>(record.Prefix >> shift) & 0xFF;
}

// Moves the n records at from to `to` in stable order of their byte at shift; starts receives each
// byte value's first place in `to`, and n last.
void CountingPass(const TPrefixed* from, TPrefixed* to, std::size_t n, int shift,
                  std::size_t (&starts)[kByteValues + 1]) {
  std::fill(std::begin(starts), std::end(starts), 0);
  for (std::size_t i = 0; i < n; ++i) ++starts[ByteAt(from[i], shift) + 1];
  for (int b = 0; b < kByteValues; ++b) starts[b + 1] += starts[b];
  std::size_t next[kByteValues];
  std::copy_n(starts, kByteValues, next);
  for (std::size_t i = 0; i < n; ++i) to[next[ByteAt(from[i], shift)]++] = from[i];
}

}  // namespace

std::vector<std::uint32_t> RankByKey(std::uint32_t rows, const TKeyOf& keyOf, const TOrderTies& orderTies) {
  // The prefixes decide most comparisons without touching the keys: a stable radix sort on them, each
  // row carried beside its prefix so that a pass reads its records in a stream, not the prefixes by
  // row at random; then the keys of equal prefixes compared whole. The first pass puts the rows in
  // buckets by their first byte; the other bytes are sorted bucket by bucket, whose records fit the
  // processor's nearer caches where a million rows' whole array does not.
  TLargeArray<TPrefixed> byKey(rows);
  TLargeArray<TPrefixed> scratch(rows);
  for (std::uint32_t row = 0; row < rows; ++row) scratch[row] = {Prefix(keyOf(row)), row};
  constexpr int kFirstByte = (kPrefixBytes - 1) * 8;
  std::size_t bucketStart[kByteValues + 1];
  CountingPass(scratch.data(), byKey.data(), rows, kFirstByte, bucketStart);
  for (int b = 0; b < kByteValues; ++b) {
    TPrefixed* const bucket = byKey.data() + bucketStart[b];
    TPrefixed* const temp = scratch.data() + bucketStart[b];
    const std::size_t size = bucketStart[b + 1] - bucketStart[b];
    for (int shift = 0; shift < kFirstByte && size > 1; shift += 8) {
      std::size_t starts[kByteValues + 1];
      CountingPass(bucket, temp, size, shift, starts);
      // Where every record of the bucket shares the byte, temp holds them in the same order.
      if (starts[ByteAt(bucket[0], shift) + 1] - starts[ByteAt(bucket[0], shift)] != size)
        std::copy_n(temp, size, bucket);
    }
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

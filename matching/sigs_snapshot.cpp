#include "matching/sigs_snapshot.h"

#include <algorithm>
#include <numeric>

#include "tablestore/table.h"

namespace velquin {
namespace {

// Floor division, so negative values (possible in a hand-made text) bucket consistently.
std::int64_t FloorDiv(std::int64_t value, std::int64_t width) {
  const std::int64_t q = value / width;
  return (value % width != 0 && value < 0) ? q - 1 : q;
}

}  // namespace

TSigsSnapshot::TSigsSnapshot(TTable& sigs, std::int32_t margin)
    : width_(margin < 0 ? 0 : std::int64_t{margin} + 1) {
  const std::string indexName = sigs.IndexName();
  sigs.SetIndexName("BySignature");
  rows_.reserve(static_cast<std::size_t>(sigs.RecordCount()));
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    TSigsRow row;
    row.FileName = sigs.FieldAsString("FileName");
    row.FullName = sigs.FieldAsString("FilePath") + row.FileName;
    row.Text = sigs.FieldAsString("Signature");
    row.Signature = TextToSignature(row.Text);
    rows_.push_back(std::move(row));
  }
  sigs.SetIndexName(indexName);
  sigs.First();

  primaryOrder_.resize(rows_.size());
  std::iota(primaryOrder_.begin(), primaryOrder_.end(), 0u);
  std::sort(primaryOrder_.begin(), primaryOrder_.end(), [&](std::uint32_t x, std::uint32_t y) {
    const TSigsRow& a = rows_[x];
    const TSigsRow& b = rows_[y];
    if (a.FileName != b.FileName) return a.FileName < b.FileName;
    return a.FullName < b.FullName;  // same name: the path decides
  });

  if (width_ == 0) return;
  std::vector<std::uint64_t> keys(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) keys[i] = BucketOf(rows_[i].Signature, 0, 0, 0);
  bucketRanks_.resize(rows_.size());
  std::iota(bucketRanks_.begin(), bucketRanks_.end(), 0u);
  std::stable_sort(bucketRanks_.begin(), bucketRanks_.end(),
                   [&](std::uint32_t x, std::uint32_t y) { return keys[x] < keys[y]; });
  buckets_.reserve(rows_.size());
  for (std::uint32_t begin = 0; begin < bucketRanks_.size();) {
    std::uint32_t end = begin + 1;
    while (end < bucketRanks_.size() && keys[bucketRanks_[end]] == keys[bucketRanks_[begin]]) ++end;
    buckets_.emplace(keys[bucketRanks_[begin]], std::make_pair(begin, end));
    begin = end;
  }
}

std::uint64_t TSigsSnapshot::BucketOf(const TSignature& signature, int dr, int dg, int db) const {
  const TRgb& c = signature.Cells[0];
  // 21 bits per channel: bucket numbers of 32-bit values divided by at least 1 fit after the offset.
  const auto part = [&](std::int32_t value, int delta) {
    return static_cast<std::uint64_t>((FloorDiv(value, width_) + delta + (std::int64_t{1} << 32)) & 0x1FFFFF);
  };
  return part(c.R, dr) << 42 | part(c.G, dg) << 21 | part(c.B, db);
}

void TSigsSnapshot::Candidates(std::uint32_t rank, const std::string& highKey,
                               std::vector<std::uint32_t>& candidates) const {
  candidates.clear();
  if (width_ == 0) return;
  const TSignature& signature = rows_[rank].Signature;
  std::uint64_t seen[27];
  int seenCount = 0;
  for (int dr = -1; dr <= 1; ++dr) {
    for (int dg = -1; dg <= 1; ++dg) {
      for (int db = -1; db <= 1; ++db) {
        const std::uint64_t key = BucketOf(signature, dr, dg, db);
        // Masked bucket numbers may coincide for extreme values; visit each bucket once.
        if (std::find(seen, seen + seenCount, key) != seen + seenCount) continue;
        seen[seenCount++] = key;
        const auto found = buckets_.find(key);
        if (found == buckets_.end()) continue;
        for (std::uint32_t i = found->second.first; i < found->second.second; ++i) {
          const std::uint32_t other = bucketRanks_[i];
          if (other > rank && rows_[other].Text <= highKey) candidates.push_back(other);
        }
      }
    }
  }
  std::sort(candidates.begin(), candidates.end());
}

}  // namespace velquin

// TSigsSnapshot: the Sigs rows held in memory for one match pass, with a bucket index that finds each
// row's candidate partners without walking the first-value window row by row.
//
// Two signatures can match only when each of their 48 values differs by at most the Margin (in
// cell-sum mode the sum of a Cell's three differences bounds each of them). The rows are therefore
// bucketed by the first Cell's three values divided by Margin + 1; a partner lies in one of the 27
// buckets around a row's own. Rank is the row's place in BySignature order, which decides who is
// File1 and whom a row's search may visit.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "signature/signature.h"

namespace velquin {

class TTable;

struct TSigsRow {
  std::string FileName;
  std::string FullName;  // FilePath followed by FileName
  std::string Text;      // the Signature text as stored
  TSignature Signature;
};

class TSigsSnapshot {
 public:
  // Reads every Sigs row by one walk along BySignature, then puts sigs back on its former index and
  // its first row. Throws the conversion error of a malformed Signature text.
  TSigsSnapshot(TTable& sigs, std::int32_t margin);

  // Row numbers (ranks) in the order of the primary index (FileName, then FilePath, as bytes).
  const std::vector<std::uint32_t>& PrimaryOrder() const { return primaryOrder_; }
  const TSigsRow& Row(std::uint32_t rank) const { return rows_[rank]; }

  // Ranks after rank whose text does not pass highKey and whose values may all lie within the
  // Margin, in ascending order. candidates is reused storage.
  void Candidates(std::uint32_t rank, const std::string& highKey,
                  std::vector<std::uint32_t>& candidates) const;

 private:
  std::uint64_t BucketOf(const TSignature& signature, int dr, int dg, int db) const;

  std::int64_t width_;  // Margin + 1; 0 when the Margin is negative (nothing matches)
  std::vector<TSigsRow> rows_;
  std::vector<std::uint32_t> primaryOrder_;
  // Ranks sorted by bucket; each bucket is a run [begin, end) of bucketRanks_.
  std::vector<std::uint32_t> bucketRanks_;
  std::unordered_map<std::uint64_t, std::pair<std::uint32_t, std::uint32_t>> buckets_;
};

}  // namespace velquin

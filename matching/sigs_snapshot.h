// TSigsSnapshot: the Sigs rows of one match pass, read into memory by one sequential read of the
// table (TTable::ReadEveryRow): their names for the pass's log and pairs, their order in the primary
// index, and their signatures and gray grids by rank for the match engine.
//
// Rank is a row's place in BySignature order (signature_ranking.h). Rows of equal texts are ranked in
// the order BySignature keeps them in, asked of the table by a keyed search of that index while the
// snapshot is read; the engine never sees the table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "matching/match_engine.h"
#include "platform/large_pages.h"

namespace velquin {

class TTable;

class TSigsSnapshot {
 public:
  // Reads every Sigs row with its place in the active (primary) index, with its gray grid when gray,
  // and leaves sigs on its first row. Throws the conversion error of a malformed Signature text.
  explicit TSigsSnapshot(TTable& sigs, bool gray = false);

  // Ranks in the order of the primary index (FileName, then FilePath, as bytes): the rank of the row
  // at each place of that index.
  const std::vector<std::uint32_t>& PrimaryOrder() const { return primaryOrder_; }
  // The FileName of the row at place of the primary index: what a pass walking that index reads, in
  // the order it stores them.
  std::string_view FileNameAt(std::size_t place) const { return NameOfRow(rowOfPlace_[place]); }
  std::string_view FileName(std::uint32_t rank) const { return NameOfRow(rowOfRank_[rank]); }
  // FilePath followed by FileName.
  std::string FullName(std::uint32_t rank) const;

  // The signatures by rank, handed over once (to the engine).
  TRankedSignatures TakeSignatures() { return std::move(signatures_); }
  // The gray grids by rank (empty unless read), handed over once (to the engine).
  TRankedGray TakeGray() { return std::move(gray_); }

 private:
  std::string_view NameOfRow(std::uint32_t row) const;
  // Appends the FileName of the next row of a table of `rows` rows.
  void AddName(std::string_view name, std::size_t rows);

  // Rows are numbered in the order the table's data file holds them. Per row: FileName is the
  // nameLength_[row] bytes at nameStart_[row] of the names' blocks, block after block; FilePath is
  // paths_[pathOf_[row]]. Block b holds the starts from b x kNameBlockBytes on; it is filled and never
  // moved (one growing buffer would copy a million names each time it doubled, onto fresh pages), and
  // a name never straddles two blocks.
  static constexpr std::size_t kNameBlockBytes = kLargePageBytes;
  std::vector<TLargeArray<char>> nameBlocks_;
  TLargeArray<std::uint64_t> nameStart_;
  TLargeArray<std::uint16_t> nameLength_;  // a text field holds at most 4,096 bytes
  TLargeArray<std::uint32_t> pathOf_;
  std::vector<std::string> paths_;
  // The row at each place of the primary index, and of each rank; primaryOrder_ gives the rank at
  // each place.
  std::vector<std::uint32_t> rowOfPlace_;
  std::vector<std::uint32_t> rowOfRank_;
  std::vector<std::uint32_t> primaryOrder_;
  TRankedSignatures signatures_;
  TRankedGray gray_;
};

}  // namespace velquin

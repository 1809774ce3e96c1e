// TSigsSnapshot: the Sigs rows held in memory for one match pass, with a grid that finds each row's
// candidate partners without walking the first-value window row by row.
//
// Two signatures can match only when each of their 48 values differs by at most the Margin (in
// cell-sum mode the sum of a Cell's three differences bounds each of them). Rows are placed in a grid
// over their first D values divided by Margin + 1; a partner lies in one of the 3^D cells around a
// row's own. D (1..4) keeps the grid at most a few cells per row. Each cell's rows are stored
// together, with their 48 values as bytes, so a candidate costs one pass over 48 contiguous bytes.
//
// Rank is a row's place in BySignature order: the walk of a row's search visits exactly the rows of
// higher rank whose text does not exceed its high key. For a canonical row (values 0..255, first field
// as SignatureToText writes it) that key test follows from the Margin test on the first value, so the
// grid needs no texts; a table holding any other row is searched by comparing texts, row by row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "signature/signature.h"

namespace velquin {

class TTable;

struct TSigsRow {
  std::string FileName;
  std::uint32_t Path = 0;  // FilePath, as an index into the snapshot's distinct paths
  std::string Text;        // the Signature text as stored
};

class TSigsSnapshot {
 public:
  // Reads every Sigs row by one walk along the active (primary) index, and leaves sigs on its first
  // row. Throws the conversion error of a malformed Signature text.
  TSigsSnapshot(TTable& sigs, std::int32_t margin);

  // Row numbers (ranks) in the order of the primary index (FileName, then FilePath, as bytes).
  const std::vector<std::uint32_t>& PrimaryOrder() const { return primaryOrder_; }
  const TSigsRow& Row(std::uint32_t rank) const { return rows_[rowOfRank_[rank]]; }
  // FilePath followed by FileName.
  std::string FullName(std::uint32_t rank) const { return paths_[Row(rank).Path] + Row(rank).FileName; }
  // The row's Signature (read from its text again unless the grid holds its values).
  TSignature SignatureOf(std::uint32_t rank) const;

  // The ranks after rank that the search of rank visits and that match it in the mode colors (read
  // afresh for each row: messages run between rows), in ascending order. partners is reused storage.
  void Partners(std::uint32_t rank, bool colors, std::vector<std::uint32_t>& partners) const;

 private:
  static constexpr int kValues = 48;
  // The values a grid entry carries for a first test without leaving the entry: 16 bytes in all,
  // tested at once.
  static constexpr int kHeadValues = 12;
  struct alignas(16) TGridEntry {
    std::uint8_t Head[kHeadValues];
    std::uint32_t Rank;
  };

  std::uint32_t CellOf(const std::uint8_t* values) const;
  // Returns true iff the 48 values of a and b lie within the Margin in the mode colors.
  bool Within(const std::uint8_t* a, const std::uint8_t* b, bool colors) const;

  std::int32_t margin_;
  // The rows in primary order; rowOfRank_[rank] is the place of the row of that rank.
  std::vector<TSigsRow> rows_;
  std::vector<std::uint32_t> rowOfRank_;
  std::vector<std::string> paths_;
  std::vector<std::uint32_t> primaryOrder_;
  // The grid, when every row is canonical and the Margin is not negative: cell c holds the entries
  // [cellStart_[c], cellStart_[c + 1]) of entries_; values_ holds each rank's 48 values as bytes.
  bool canonical_ = true;
  bool grid_ = false;
  int dims_ = 0;
  std::uint32_t side_ = 0;   // cells per dimension
  std::uint32_t width_ = 0;  // Margin + 1
  std::vector<std::uint32_t> cellStart_;
  std::vector<TGridEntry> entries_;
  std::vector<std::uint8_t> values_;
};

}  // namespace velquin

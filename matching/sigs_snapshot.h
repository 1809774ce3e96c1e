// TSigsSnapshot: the Sigs rows held in memory for one match pass, with a grid that finds each row's
// candidate partners without walking the first-value window row by row.
//
// Two signatures can match only when each of their 48 values differs by at most the Margin (in
// cell-sum mode the sum of a Cell's three differences bounds each of them). Rows are placed in a grid
// over their first D values divided by Margin + 1; a partner lies in one of the 3^D cells around a
// row's own. D (1..3) keeps the grid at most about a cell per row. Each cell's entries are stored
// together and carry a row's first values, so most candidates are refused without leaving the cell.
//
// Rank is a row's place in BySignature order: the walk of a row's search visits exactly the rows of
// higher rank whose text does not exceed its high key. A text in the written form (as SignatureToText
// writes values 0..255: 48 right-aligned fields of 4 characters) is held as its 48 values only: for
// such texts, text order is the order of the values, and the key test follows from the Margin test on
// the first value, so the grid needs no texts. A table holding any other text is searched by comparing
// texts, row by row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "signature/signature.h"

namespace velquin {

class TTable;

class TSigsSnapshot {
 public:
  // Reads every Sigs row by one walk along the active (primary) index, and leaves sigs on its first
  // row. Throws the conversion error of a malformed Signature text.
  TSigsSnapshot(TTable& sigs, std::int32_t margin);

  // Ranks in the order of the primary index (FileName, then FilePath, as bytes).
  const std::vector<std::uint32_t>& PrimaryOrder() const { return primaryOrder_; }
  std::string_view FileName(std::uint32_t rank) const;
  // FilePath followed by FileName.
  std::string FullName(std::uint32_t rank) const;
  TSignature SignatureOf(std::uint32_t rank) const;

  // The ranks after rank that the search of rank visits and that match it in the mode colors (read
  // afresh for each row: messages run between rows), in ascending order. partners is reused storage.
  void Partners(std::uint32_t rank, bool colors, std::vector<std::uint32_t>& partners) const;

 private:
  static constexpr int kValues = 48;
  // The values a grid entry carries for a first test, which few other rows pass: small entries keep
  // the cells scanned for a row in few cache lines.
  static constexpr int kHeadValues = 8;
  struct TGridEntry {
    std::uint8_t Head[kHeadValues];
  };

  // Sets the ranks: rows in order of their keys (texts, or values in the written form, which order
  // alike), and among equal texts in the order BySignature keeps them in.
  template <typename TKeyOfRow, typename TTextOfRow>
  void Rank(TTable& sigs, TKeyOfRow keyOfRow, TTextOfRow textOfRow);
  void BuildGrid(const std::vector<std::uint8_t>& valuesOfRow);
  std::uint32_t CellOf(const std::uint8_t* values) const;
  // Returns true iff the 48 values of a and b lie within the Margin in the mode colors.
  bool Within(const std::uint8_t* a, const std::uint8_t* b, bool colors) const;

  std::int32_t margin_;
  // Per row, in primary order: FileName is names_[nameStart_[row], nameStart_[row + 1]), FilePath is
  // paths_[pathOf_[row]].
  std::string names_;
  std::vector<std::uint32_t> nameStart_;
  std::vector<std::uint32_t> pathOf_;
  std::vector<std::string> paths_;
  // rowOfRank_[rank] is the row of that rank; primaryOrder_ its inverse.
  std::vector<std::uint32_t> rowOfRank_;
  std::vector<std::uint32_t> primaryOrder_;
  // Texts and signatures by rank, when some text is not in the written form or the Margin is
  // negative; else the grid: cell c holds the entries [cellStart_[c], cellStart_[c + 1]) of entries_,
  // and values_ each rank's 48 values.
  std::vector<std::string> texts_;
  std::vector<TSignature> signatures_;
  bool grid_ = false;
  int dims_ = 0;
  std::uint32_t side_ = 0;   // cells per dimension
  std::uint32_t width_ = 0;  // Margin + 1
  std::vector<std::uint32_t> cellStart_;
  std::vector<TGridEntry> entries_;
  std::vector<std::uint32_t> rankOfEntry_;
  std::vector<std::uint8_t> values_;
};

}  // namespace velquin

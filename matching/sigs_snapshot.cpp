#include "matching/sigs_snapshot.h"

#include <algorithm>
#include <span>

#include "matching/signature_ranking.h"
#include "matching/written_form.h"
#include "signature/gray_grid.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

// A text field's value; empty for null.
std::string_view TextOf(const TFieldValue& value) {
  const auto* text = std::get_if<std::string>(&value);
  return text != nullptr ? std::string_view(*text) : std::string_view();
}

// Puts rows, whose Signature texts all equal text, in the order BySignature keeps them in (the order
// they were first stored), found by a keyed search of that index. isRow(row, name, path) tells whether
// a row holds that FileName and FilePath.
template <typename TIsRow>
void OrderEqualTexts(TTable& sigs, const std::string& text, std::span<std::uint32_t> rows, TIsRow isRow) {
  const std::string indexName = sigs.IndexName();
  sigs.SetIndexName("BySignature");
  sigs.SetKey();
  sigs.SetFieldValue("Signature", text);
  std::vector<std::uint32_t> ordered;
  if (sigs.GotoKey()) {
    for (; !sigs.Eof() && sigs.FieldText("Signature") == text; sigs.Next()) {
      const std::string_view name = sigs.FieldText("FileName");
      const std::string_view path = sigs.FieldText("FilePath");
      const auto found =
          std::find_if(rows.begin(), rows.end(), [&](std::uint32_t row) { return isRow(row, name, path); });
      if (found != rows.end()) ordered.push_back(*found);
    }
  }
  sigs.SetIndexName(indexName);
  if (ordered.size() == rows.size()) std::copy(ordered.begin(), ordered.end(), rows.begin());
}

// The records of `size` bytes at records, one per row in row order, in rank order: record `rank` of
// the result is record rowOfRank[rank]. The writes stream while the reads jump about the table's
// rows; each read is asked for some ranks ahead, so that many are on the way at once. (Moving the
// records in place along the permutation's cycles saves the second array but waits on one cache miss
// after another: at a million rows that cost more than this array's fresh pages.)
template <std::size_t size>
TLargeArray<std::uint8_t> GatherByRank(const std::vector<std::uint32_t>& rowOfRank,
                                       const TLargeArray<std::uint8_t>& records) {
  constexpr std::size_t kAhead = 16;
  TLargeArray<std::uint8_t> ranked;
  ranked.reserve(rowOfRank.size() * size);
  for (std::size_t rank = 0; rank < rowOfRank.size(); ++rank) {
    if (rank + kAhead < rowOfRank.size()) {
      const std::uint8_t* ahead = &records[std::size_t{rowOfRank[rank + kAhead]} * size];
      __builtin_prefetch(ahead);
      __builtin_prefetch(ahead + size - 1);
    }
    const std::uint8_t* record = &records[std::size_t{rowOfRank[rank]} * size];
    ranked.insert(ranked.end(), record, record + size);
  }
  return ranked;
}

}  // namespace

TSigsSnapshot::TSigsSnapshot(TTable& sigs, bool gray) {
  const auto count = static_cast<std::size_t>(sigs.RecordCount());
  nameStart_.reserve(count);
  nameLength_.reserve(count);
  pathOf_.reserve(count);
  TLargeArray<std::uint8_t> values;
  values.reserve(count * kSignatureValues);
  std::vector<std::pair<std::uint32_t, std::string>> otherTexts;  // rows not in the written form
  // A table opened as its files stand may predate the gray grids: its rows hold none.
  const bool grayField = gray && std::any_of(sigs.FieldDefs.begin(), sigs.FieldDefs.end(),
                                             [](const TFieldDef& field) { return field.Name == "Gray"; });
  if (gray) {
    gray_.Values.reserve(count * kGrayCells);
    gray_.Present.reserve(count);
  }
  const std::size_t nameField = sigs.FieldNumber("FileName");
  const std::size_t pathField = sigs.FieldNumber("FilePath");
  const std::size_t signatureField = sigs.FieldNumber("Signature");
  const std::size_t grayNumber = grayField ? sigs.FieldNumber("Gray") : 0;
  rowOfPlace_ = sigs.ReadEveryRow([&](const std::vector<TFieldValue>& fields) {
    const auto row = static_cast<std::uint32_t>(pathOf_.size());
    AddName(TextOf(fields[nameField]), count);
    const std::string_view path = TextOf(fields[pathField]);
    if (paths_.empty() || paths_.back() != path) paths_.emplace_back(path);
    pathOf_.push_back(static_cast<std::uint32_t>(paths_.size() - 1));
    const std::string_view text = TextOf(fields[signatureField]);
    values.resize(values.size() + kSignatureValues);
    if (!ReadWrittenForm(text, &values[std::size_t{row} * kSignatureValues]))
      otherTexts.emplace_back(row, text);
    if (gray) {
      TGrayGrid grid;
      gray_.Present.push_back(grayField && ReadGrayText(TextOf(fields[grayNumber]), grid));
      gray_.Values.insert(gray_.Values.end(), grid.Cells.begin(), grid.Cells.end());
    }
  });
  const std::size_t rows = pathOf_.size();
  if (!otherTexts.empty()) {
    // A malformed text fails the pass with the error of the first along the primary index, as a
    // walk along it would meet them.
    std::vector<std::uint32_t> placeOfRow(rows);
    for (std::uint32_t place = 0; place < rows; ++place) placeOfRow[rowOfPlace_[place]] = place;
    std::sort(otherTexts.begin(), otherTexts.end(),
              [&](const auto& a, const auto& b) { return placeOfRow[a.first] < placeOfRow[b.first]; });
    for (const auto& [row, text] : otherTexts) TextToSignature(text);
  }
  const auto valuesOf = [&](std::uint32_t row) { return &values[std::size_t{row} * kSignatureValues]; };

  // Keys: the values when every text is in the written form (no text need be built), else the texts.
  const bool written = otherTexts.empty();
  std::vector<std::string> texts;
  if (!written) {
    texts.resize(rows);
    for (auto& [row, text] : otherTexts) texts[row] = std::move(text);
    for (std::uint32_t row = 0; row < rows; ++row) {
      if (texts[row].empty()) texts[row] = SignatureToText(SignatureOfValues(valuesOf(row)));
    }
  }
  const auto keyOf = [&](std::uint32_t row) {
    return written ? std::string_view(reinterpret_cast<const char*>(valuesOf(row)), kSignatureValues)
                   : std::string_view(texts[row]);
  };
  const auto isRow = [&](std::uint32_t row, std::string_view name, std::string_view path) {
    return NameOfRow(row) == name && paths_[pathOf_[row]] == path;
  };
  rowOfRank_ = RankByKey(static_cast<std::uint32_t>(rows), keyOf, [&](std::span<std::uint32_t> same) {
    const std::uint32_t row = same.front();
    const std::string text = written ? SignatureToText(SignatureOfValues(valuesOf(row))) : texts[row];
    OrderEqualTexts(sigs, text, same, isRow);
  });
  std::vector<std::uint32_t> rankOfRow(rows);
  for (std::uint32_t rank = 0; rank < rows; ++rank) rankOfRow[rowOfRank_[rank]] = rank;
  primaryOrder_.resize(rows);
  for (std::size_t place = 0; place < rows; ++place) primaryOrder_[place] = rankOfRow[rowOfPlace_[place]];

  if (gray) {
    gray_.Values = GatherByRank<kGrayCells>(rowOfRank_, gray_.Values);
    std::vector<bool> present(rows);
    for (std::uint32_t rank = 0; rank < rows; ++rank) present[rank] = gray_.Present[rowOfRank_[rank]];
    gray_.Present = std::move(present);
  }
  if (written) {
    signatures_ = TWrittenValues{GatherByRank<kSignatureValues>(rowOfRank_, values)};
  } else {
    std::vector<std::string> byRank(rows);
    for (std::uint32_t rank = 0; rank < rows; ++rank) byRank[rank] = std::move(texts[rowOfRank_[rank]]);
    signatures_ = std::move(byRank);
  }
  sigs.First();
}

void TSigsSnapshot::AddName(std::string_view name, std::size_t rows) {
  if (nameBlocks_.empty() || nameBlocks_.back().size() + name.size() > nameBlocks_.back().capacity()) {
    // A small table's names take a small first block, not a whole large page.
    constexpr std::size_t kFewBytesPerName = 32;
    const std::size_t bytes = nameBlocks_.empty()
                                  ? std::min(kNameBlockBytes, rows * kFewBytesPerName + name.size())
                                  : kNameBlockBytes;
    nameBlocks_.emplace_back().reserve(bytes);
  }
  TLargeArray<char>& block = nameBlocks_.back();
  nameStart_.push_back((nameBlocks_.size() - 1) * kNameBlockBytes + block.size());
  nameLength_.push_back(static_cast<std::uint16_t>(name.size()));
  block.insert(block.end(), name.begin(), name.end());
}

std::string_view TSigsSnapshot::NameOfRow(std::uint32_t row) const {
  const std::uint64_t start = nameStart_[row];
  return std::string_view(nameBlocks_[start / kNameBlockBytes].data() + start % kNameBlockBytes,
                          nameLength_[row]);
}

std::string TSigsSnapshot::FullName(std::uint32_t rank) const {
  std::string name = paths_[pathOf_[rowOfRank_[rank]]];
  name.append(FileName(rank));
  return name;
}

}  // namespace velquin

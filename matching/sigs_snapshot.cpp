#include "matching/sigs_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "matching/matching.h"
#include "matching/pair_record.h"
#include "platform/text_utils.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

// The grid gets at most this many cells per row (plus a small floor for tiny tables) and at most
// kMaxDims dimensions: fewer, fuller cells scanned in long runs beat many scattered small ones.
constexpr std::uint64_t kCellsPerRow = 1;
constexpr int kMaxDims = 3;

// The 4 bytes of each value's field as SignatureToText writes it, read as one word; ReadWrittenForm
// computes indexes up to 15 * 111 from any 4 bytes, and those above 255 have no written form (0).
class TWrittenFields {
 public:
  static constexpr unsigned kIndexes = 15 * 111 + 1;
  TWrittenFields() : words_{} {
    for (unsigned v = 0; v < 256; ++v) {
      char field[5];
      std::snprintf(field, sizeof field, "%4u", v);
      std::memcpy(&words_[v], field, 4);
    }
  }
  std::uint32_t operator[](unsigned index) const { return words_[index]; }

 private:
  std::uint32_t words_[kIndexes];
};
const TWrittenFields kWrittenFields;

// Returns true iff text is in the written form, putting its 48 values in values. A field's value is
// taken from its last three characters, each counted as a digit (a blank counts as 0); the field is
// then in the written form exactly when it equals the written field of that value.
bool ReadWrittenForm(std::string_view text, std::uint8_t* values) {
  if (text.size() != 48 * 4) return false;
  std::uint32_t mismatch = 0;
  const auto digit = [](char c) { return (static_cast<unsigned char>(c) - 48u) & 15u; };
  for (int i = 0; i < 48; ++i) {
    const char* field = text.data() + 4 * i;
    const unsigned v = digit(field[1]) * 100 + digit(field[2]) * 10 + digit(field[3]);
    std::uint32_t word;
    std::memcpy(&word, field, 4);
    mismatch |= word ^ kWrittenFields[v];
    values[i] = static_cast<std::uint8_t>(v);
  }
  return mismatch == 0;
}

TSignature SignatureOfValues(const std::uint8_t* values) {
  TSignature signature;
  for (TRgb& cell : signature.Cells) {
    cell = {values[0], values[1], values[2]};
    values += 3;
  }
  return signature;
}

// Puts the rows [first, last), whose Signature texts all equal text, in the order BySignature keeps
// them in (the order they were first stored), found by a keyed search of that index. isRow(row, name,
// path) tells whether a row holds that FileName and FilePath.
template <typename TIsRow>
void OrderEqualTexts(TTable& sigs, const std::string& text, std::uint32_t* first, std::uint32_t* last,
                     TIsRow isRow) {
  const std::string indexName = sigs.IndexName();
  sigs.SetIndexName("BySignature");
  sigs.SetKey();
  sigs.SetFieldValue("Signature", text);
  std::vector<std::uint32_t> ordered;
  if (sigs.GotoKey()) {
    for (; !sigs.Eof() && sigs.FieldText("Signature") == text; sigs.Next()) {
      const std::string_view name = sigs.FieldText("FileName");
      const std::string_view path = sigs.FieldText("FilePath");
      const auto found = std::find_if(first, last, [&](std::uint32_t row) { return isRow(row, name, path); });
      if (found != last) ordered.push_back(*found);
    }
  }
  sigs.SetIndexName(indexName);
  if (ordered.size() == static_cast<std::size_t>(last - first))
    std::copy(ordered.begin(), ordered.end(), first);
}

// A row's first values (a grid entry's head), for testing grid entries against them two at a time:
// bit i of the result is set iff each value of entries[i] lies within the Margin of the row's.
class THeadTest {
 public:
  THeadTest(const std::uint8_t* values, std::int32_t margin) {
    const auto limit = static_cast<std::uint8_t>(std::min(margin, 255));
#if defined(__SSE2__)
    std::uint64_t head;
    std::memcpy(&head, values, sizeof head);
    values_ = _mm_set1_epi64x(static_cast<long long>(head));
    limit_ = _mm_set1_epi8(static_cast<char>(limit));
#else
    std::copy_n(values, sizeof values_, values_);
    limit_ = limit;
#endif
  }

  template <typename TEntry>
  unsigned operator()(const TEntry* entries) const {
    static_assert(sizeof(TEntry) == 8);
#if defined(__SSE2__)
    const __m128i other = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries));
    const __m128i diff = _mm_or_si128(_mm_subs_epu8(other, values_), _mm_subs_epu8(values_, other));
    const __m128i over = _mm_subs_epu8(diff, limit_);
    const unsigned within =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())));
    return unsigned{(within & 0xFF) == 0xFF} | unsigned{within >> 8 == 0xFF} << 1;
#else
    unsigned passed = 0;
    for (unsigned e = 0; e < 2; ++e) {
      bool within = true;
      for (int i = 0; i < 8; ++i) within &= std::abs(int{values_[i]} - int{entries[e].Head[i]}) <= limit_;
      passed |= unsigned{within} << e;
    }
    return passed;
#endif
  }

 private:
#if defined(__SSE2__)
  __m128i values_;
  __m128i limit_;
#else
  std::uint8_t values_[8];
  int limit_;
#endif
};

}  // namespace

TSigsSnapshot::TSigsSnapshot(TTable& sigs, std::int32_t margin) : margin_(margin) {
  // One walk in primary order, the order the pass searches the rows in, reading the texts in place.
  const auto count = static_cast<std::size_t>(sigs.RecordCount());
  nameStart_.reserve(count + 1);
  nameStart_.push_back(0);
  pathOf_.reserve(count);
  std::vector<std::uint8_t> valuesOfRow;
  valuesOfRow.reserve(count * kValues);
  std::vector<std::pair<std::uint32_t, std::string>> otherTexts;  // rows not in the written form
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    const auto row = static_cast<std::uint32_t>(pathOf_.size());
    names_.append(sigs.FieldText("FileName"));
    nameStart_.push_back(static_cast<std::uint32_t>(names_.size()));
    const std::string_view path = sigs.FieldText("FilePath");
    if (paths_.empty() || paths_.back() != path) paths_.emplace_back(path);
    pathOf_.push_back(static_cast<std::uint32_t>(paths_.size() - 1));
    const std::string_view text = sigs.FieldText("Signature");
    valuesOfRow.resize(valuesOfRow.size() + kValues);
    if (!ReadWrittenForm(text, &valuesOfRow[std::size_t{row} * kValues])) {
      TextToSignature(text);  // raises the conversion error of a malformed text
      otherTexts.emplace_back(row, text);
    }
  }
  const std::size_t rows = pathOf_.size();

  grid_ = margin_ >= 0 && otherTexts.empty();
  if (grid_) {
    const auto valuesOf = [&](std::uint32_t row) {
      return std::string_view(reinterpret_cast<const char*>(&valuesOfRow[std::size_t{row} * kValues]),
                              kValues);
    };
    Rank(sigs, valuesOf, [&](std::uint32_t row) {
      return SignatureToText(SignatureOfValues(&valuesOfRow[std::size_t{row} * kValues]));
    });
    BuildGrid(valuesOfRow);
  } else {
    std::vector<std::string> textOfRow(rows);
    for (auto& [row, text] : otherTexts) textOfRow[row] = std::move(text);
    for (std::uint32_t row = 0; row < rows; ++row) {
      if (textOfRow[row].empty())
        textOfRow[row] = SignatureToText(SignatureOfValues(&valuesOfRow[std::size_t{row} * kValues]));
    }
    const auto textOf = [&](std::uint32_t row) -> const std::string& { return textOfRow[row]; };
    Rank(sigs, textOf, textOf);
    texts_.resize(rows);
    signatures_.resize(rows);
    for (std::uint32_t rank = 0; rank < rows; ++rank) {
      texts_[rank] = std::move(textOfRow[rowOfRank_[rank]]);
      signatures_[rank] = TextToSignature(texts_[rank]);
    }
  }
  sigs.First();
}

template <typename TKeyOfRow, typename TTextOfRow>
void TSigsSnapshot::Rank(TTable& sigs, TKeyOfRow keyOfRow, TTextOfRow textOfRow) {
  const auto rows = static_cast<std::uint32_t>(pathOf_.size());
  std::vector<std::uint32_t> byKey(rows);
  std::iota(byKey.begin(), byKey.end(), 0u);
  // The first eight bytes as a big-endian number decide most comparisons without touching the keys:
  // a stable radix sort on them, then the keys of equal prefixes compared whole.
  std::vector<std::uint64_t> prefix(rows);
  for (std::uint32_t row = 0; row < rows; ++row) {
    const std::string_view key = keyOfRow(row);
    std::uint64_t word = 0;
    for (std::size_t b = 0; b < 8; ++b)
      word = word << 8 | (b < key.size() ? static_cast<std::uint8_t>(key[b]) : 0u);
    prefix[row] = word;
  }
  std::vector<std::uint32_t> scratch(rows);
  for (int shift = 0; shift < 64; shift += 8) {
    std::size_t counts[257] = {};
    for (const std::uint32_t row : byKey) ++counts[((prefix[row] >> shift) & 0xFF) + 1];
    for (int b = 0; b < 256; ++b) counts[b + 1] += counts[b];
    for (const std::uint32_t row : byKey) scratch[counts[(prefix[row] >> shift) & 0xFF]++] = row;
    byKey.swap(scratch);
  }
  const auto isRow = [&](std::uint32_t row, std::string_view name, std::string_view path) {
    return names_.compare(nameStart_[row], nameStart_[row + 1] - nameStart_[row], name) == 0 &&
           paths_[pathOf_[row]] == path;
  };
  for (std::uint32_t begin = 0; begin < rows;) {
    std::uint32_t end = begin + 1;
    while (end < rows && prefix[byKey[end]] == prefix[byKey[begin]]) ++end;
    if (end - begin > 1) {
      std::uint32_t* const first = &byKey[begin];
      std::uint32_t* const last = first + (end - begin);
      std::stable_sort(first, last, [&](std::uint32_t x, std::uint32_t y) {
        return std::string_view(keyOfRow(x)) < std::string_view(keyOfRow(y));
      });
      for (std::uint32_t* same = first; same != last;) {
        std::uint32_t* next = same + 1;
        while (next != last && std::string_view(keyOfRow(*next)) == std::string_view(keyOfRow(*same))) ++next;
        if (next - same > 1) OrderEqualTexts(sigs, textOfRow(*same), same, next, isRow);
        same = next;
      }
    }
    begin = end;
  }
  primaryOrder_.resize(rows);
  for (std::uint32_t rank = 0; rank < rows; ++rank) primaryOrder_[byKey[rank]] = rank;
  rowOfRank_ = std::move(byKey);
}

void TSigsSnapshot::BuildGrid(const std::vector<std::uint8_t>& valuesOfRow) {
  const std::size_t rows = pathOf_.size();
  width_ = static_cast<std::uint32_t>(std::min<std::int64_t>(std::int64_t{margin_} + 1, 256));
  side_ = 255 / width_ + 1;
  const std::uint64_t maxCells = kCellsPerRow * rows + 1024;
  std::uint64_t cells = side_;
  dims_ = 1;
  while (dims_ < kMaxDims && cells * side_ <= maxCells) {
    cells *= side_;
    ++dims_;
  }

  values_.resize(rows * kValues);
  std::vector<std::uint32_t> cellOf(rows);
  cellStart_.assign(cells + 1, 0);
  for (std::uint32_t rank = 0; rank < rows; ++rank) {
    std::uint8_t* values = &values_[std::size_t{rank} * kValues];
    std::copy_n(&valuesOfRow[std::size_t{rowOfRank_[rank]} * kValues], kValues, values);
    cellOf[rank] = CellOf(values);
    ++cellStart_[cellOf[rank] + 1];
  }
  std::partial_sum(cellStart_.begin(), cellStart_.end(), cellStart_.begin());
  entries_.resize(rows + 1);
  rankOfEntry_.resize(rows);
  std::vector<std::uint32_t> fill(cellStart_.begin(), cellStart_.end() - 1);
  for (std::uint32_t rank = 0; rank < rows; ++rank) {
    const std::uint32_t entry = fill[cellOf[rank]]++;
    rankOfEntry_[entry] = rank;
    std::copy_n(&values_[std::size_t{rank} * kValues], kHeadValues, entries_[entry].Head);
  }
}

std::string_view TSigsSnapshot::FileName(std::uint32_t rank) const {
  const std::uint32_t row = rowOfRank_[rank];
  return std::string_view(names_).substr(nameStart_[row], nameStart_[row + 1] - nameStart_[row]);
}

std::string TSigsSnapshot::FullName(std::uint32_t rank) const {
  std::string name = paths_[pathOf_[rowOfRank_[rank]]];
  name.append(FileName(rank));
  return name;
}

TSignature TSigsSnapshot::SignatureOf(std::uint32_t rank) const {
  return grid_ ? SignatureOfValues(&values_[std::size_t{rank} * kValues]) : signatures_[rank];
}

std::uint32_t TSigsSnapshot::CellOf(const std::uint8_t* values) const {
  std::uint32_t cell = 0;
  for (int d = 0; d < dims_; ++d) cell = cell * side_ + values[d] / width_;
  return cell;
}

bool TSigsSnapshot::Within(const std::uint8_t* a, const std::uint8_t* b, bool colors) const {
  if (colors) {
    for (int i = 0; i < kValues; ++i) {
      if (std::abs(int{a[i]} - int{b[i]}) > margin_) return false;
    }
  } else {
    for (int i = 0; i < kValues; i += 3) {
      if (std::abs(int{a[i]} - int{b[i]}) + std::abs(int{a[i + 1]} - int{b[i + 1]}) +
              std::abs(int{a[i + 2]} - int{b[i + 2]}) >
          margin_) {
        return false;
      }
    }
  }
  return true;
}

void TSigsSnapshot::Partners(std::uint32_t rank, bool colors, std::vector<std::uint32_t>& partners) const {
  partners.clear();
  std::int32_t maxDiff = 0;
  if (!grid_) {
    // Texts decide where the walk ends; rows in BySignature order are in text order.
    const TSignature& own = signatures_[rank];
    const std::string highKey = HighKey(own.Cells[0].R, margin_);
    for (std::uint32_t other = rank + 1; other < texts_.size() && texts_[other] <= highKey; ++other) {
      if (SignaturesMatch(own, signatures_[other], margin_, colors, maxDiff)) {
        partners.push_back(other);
      }
    }
    return;
  }
  const std::uint8_t* own = &values_[std::size_t{rank} * kValues];
  const THeadTest head(own, margin_);
  std::int32_t base[4] = {};
  for (int d = 0; d < dims_; ++d) base[d] = own[d] / width_;
  // Neighbour cells that differ only in the last dimension are adjacent: one run of entries each. A
  // partner comes later in text order, so its first value is not below this row's: in the first
  // dimension only this row's cell and the next can hold one.
  const std::int32_t side = static_cast<std::int32_t>(side_);
  const int last = dims_ - 1;
  const std::int32_t lastLow = last == 0 ? base[0] : std::max(base[last] - 1, 0);
  const std::int32_t lastHigh = std::min(base[last] + 1, side - 1);
  int runs = 1;
  for (int d = 0; d < last; ++d) runs *= d == 0 ? 2 : 3;
  for (int run = 0; run < runs; ++run) {
    std::int64_t cell = 0;
    bool inside = true;
    for (int d = 0, rest = run; d < last; ++d) {
      const int choices = d == 0 ? 2 : 3;
      const std::int32_t at = base[d] + rest % choices - (d == 0 ? 0 : 1);
      rest /= choices;
      if (at < 0 || at >= side) {
        inside = false;
        break;
      }
      cell = cell * side + at;
    }
    if (!inside) continue;
    // The run's cells lie side by side in entries_: one scan covers them all, two entries at a time
    // (entries_ ends in a spare entry for the last pair). A partner passes the test of the head's
    // values (needed in both modes), comes later and passes the exact test.
    const std::uint32_t first = cellStart_[cell * side + lastLow];
    const std::uint32_t end = cellStart_[cell * side + lastHigh + 1];
    for (std::uint32_t e = first; e < end; e += 2) {
      const unsigned passed = head(&entries_[e]);
      if (passed == 0) continue;
      for (std::uint32_t i = e; i < e + 2 && i < end; ++i) {
        const std::uint32_t other = rankOfEntry_[i];
        if ((passed >> (i - e) & 1) != 0 && other > rank &&
            Within(own, &values_[std::size_t{other} * kValues], colors)) {
          partners.push_back(other);
        }
      }
    }
  }
  std::sort(partners.begin(), partners.end());
}

}  // namespace velquin

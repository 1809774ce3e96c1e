#include "matching/sigs_snapshot.h"

#include <algorithm>
#include <cstdlib>
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

void Flatten(const TSignature& signature, std::uint8_t* out) {
  for (const TRgb& cell : signature.Cells) {
    *out++ = static_cast<std::uint8_t>(cell.R);
    *out++ = static_cast<std::uint8_t>(cell.G);
    *out++ = static_cast<std::uint8_t>(cell.B);
  }
}

// Returns true iff every value is 0..255 and the text's first field is as SignatureToText writes it.
bool IsCanonical(const TSignature& signature, const std::string& text) {
  for (const TRgb& cell : signature.Cells) {
    for (const std::int32_t v : {cell.R, cell.G, cell.B}) {
      if (v < 0 || v > 255) return false;
    }
  }
  if (text.size() <= 4) return false;
  char field[4] = {' ', ' ', ' ', ' '};
  for (std::int32_t v = signature.Cells[0].R, at = 3; at >= 0; v /= 10, --at) {
    field[at] = static_cast<char>('0' + v % 10);
    if (v < 10) break;
  }
  return text.compare(0, 4, field, 4) == 0;
}

// TextToSignature, with a quick path for fields of blanks and digits only; any other field goes to
// TextToSignature, which reads it or raises its conversion error.
TSignature ParseSignature(const std::string& text) {
  if (text.size() >= 48 * 4) {
    // A field as written by SignatureToText is blanks then at least one digit: the blanks read as
    // leading zeros, so each field is a branch-free sum, and validity one test per field.
    TSignature signature;
    const char* field = text.data();
    bool plain = true;
    for (TRgb& cell : signature.Cells) {
      for (std::int32_t* value : {&cell.R, &cell.G, &cell.B}) {
        std::int32_t v = 0;
        bool digitSeen = false;
        for (int i = 0; i < 4; ++i) {
          const char c = field[i];
          const bool digit = c >= '0' && c <= '9';
          plain &= digit || (c == ' ' && !digitSeen);
          digitSeen |= digit;
          v = v * 10 + (digit ? c - '0' : 0);
        }
        plain &= digitSeen;
        *value = v;
        field += 4;
      }
    }
    if (plain) return signature;
  }
  return TextToSignature(text);
}

// Puts the rows [first, last) of equal Signature texts in the order BySignature keeps them in (the
// order they were first stored), found by a keyed search of that index.
void OrderEqualTexts(TTable& sigs, const std::vector<TSigsRow>& rows, const std::vector<std::string>& paths,
                     std::uint32_t* first, std::uint32_t* last) {
  const std::string indexName = sigs.IndexName();
  sigs.SetIndexName("BySignature");
  sigs.SetKey();
  sigs.SetFieldValue("Signature", rows[*first].Text);
  std::vector<std::uint32_t> ordered;
  if (sigs.GotoKey()) {
    for (; !sigs.Eof() && sigs.FieldAsString("Signature") == rows[*first].Text; sigs.Next()) {
      const std::string path = sigs.FieldAsString("FilePath");
      const std::string name = sigs.FieldAsString("FileName");
      const auto found = std::find_if(first, last, [&](std::uint32_t i) {
        return rows[i].FileName == name && paths[rows[i].Path] == path;
      });
      if (found != last) ordered.push_back(*found);
    }
  }
  sigs.SetIndexName(indexName);
  if (ordered.size() == static_cast<std::size_t>(last - first))
    std::copy(ordered.begin(), ordered.end(), first);
}

// A row's first 12 values (a grid entry's head), for testing grid entries against them: returns true iff each
// lies within the Margin of the entry's.
class THead {
 public:
  THead(const std::uint8_t* values, std::int32_t margin) {
    const auto limit = static_cast<std::uint8_t>(std::min(margin, 255));
#if defined(__SSE2__)
    alignas(16) std::uint8_t bytes[16] = {};
    std::copy_n(values, 12, bytes);
    values_ = _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
    limit_ = _mm_set1_epi8(static_cast<char>(limit));
#else
    std::copy_n(values, 12, values_);
    limit_ = limit;
#endif
  }

  template <typename TEntry>
  bool operator()(const TEntry& entry) const {
#if defined(__SSE2__)
    const __m128i other = _mm_load_si128(reinterpret_cast<const __m128i*>(&entry));
    const __m128i diff = _mm_or_si128(_mm_subs_epu8(other, values_), _mm_subs_epu8(values_, other));
    const __m128i over = _mm_subs_epu8(diff, limit_);
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128())) & 0x0FFF) == 0x0FFF;
#else
    for (int i = 0; i < 12; ++i) {
      if (std::abs(int{values_[i]} - int{entry.Head[i]}) > limit_) return false;
    }
    return true;
#endif
  }

 private:
#if defined(__SSE2__)
  __m128i values_;
  __m128i limit_;
#else
  std::uint8_t values_[12];
  int limit_;
#endif
};

}  // namespace

TSigsSnapshot::TSigsSnapshot(TTable& sigs, std::int32_t margin) : margin_(margin) {
  // One walk in primary order: the order the pass searches the rows in.
  std::vector<TSigsRow>& rows = rows_;
  const auto count = static_cast<std::size_t>(sigs.RecordCount());
  rows.reserve(count);
  // Each row's values as bytes, in primary order (meaningful while every row is canonical).
  std::vector<std::uint8_t> bytes;
  bytes.reserve(count * kValues);
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    TSigsRow row;
    row.FileName = sigs.FieldAsString("FileName");
    std::string path = sigs.FieldAsString("FilePath");
    if (paths_.empty() || paths_.back() != path) paths_.push_back(std::move(path));
    row.Path = static_cast<std::uint32_t>(paths_.size() - 1);
    row.Text = sigs.FieldAsString("Signature");
    const TSignature signature = ParseSignature(row.Text);
    canonical_ = canonical_ && IsCanonical(signature, row.Text);
    bytes.resize(bytes.size() + kValues);
    Flatten(signature, &bytes[bytes.size() - kValues]);
    rows.push_back(std::move(row));
  }
  // Ranks: text order, and among equal texts the order BySignature keeps them in.
  std::vector<std::uint32_t> byText(rows.size());
  std::iota(byText.begin(), byText.end(), 0u);
  // The first eight bytes as a big-endian number decide most comparisons without touching the texts.
  std::vector<std::uint64_t> prefix(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::uint64_t key = 0;
    for (std::size_t b = 0; b < 8; ++b) {
      key = key << 8 | (b < rows[i].Text.size() ? static_cast<std::uint8_t>(rows[i].Text[b]) : 0u);
    }
    prefix[i] = key;
  }
  // A stable radix sort on the prefixes, then the texts of equal prefixes (rare) compared whole.
  std::vector<std::uint32_t> scratch(rows.size());
  for (int shift = 0; shift < 64; shift += 8) {
    std::size_t counts[257] = {};
    for (const std::uint32_t i : byText) ++counts[((prefix[i] >> shift) & 0xFF) + 1];
    for (int b = 0; b < 256; ++b) counts[b + 1] += counts[b];
    for (const std::uint32_t i : byText) scratch[counts[(prefix[i] >> shift) & 0xFF]++] = i;
    byText.swap(scratch);
  }
  for (std::size_t begin = 0; begin < byText.size();) {
    std::size_t end = begin + 1;
    while (end < byText.size() && prefix[byText[end]] == prefix[byText[begin]]) ++end;
    if (end - begin > 1) {
      std::stable_sort(byText.begin() + static_cast<std::ptrdiff_t>(begin),
                       byText.begin() + static_cast<std::ptrdiff_t>(end),
                       [&](std::uint32_t x, std::uint32_t y) { return rows[x].Text < rows[y].Text; });
    }
    begin = end;
  }
  for (std::size_t begin = 0; begin < byText.size();) {
    std::size_t end = begin + 1;
    while (end < byText.size() && prefix[byText[end]] == prefix[byText[begin]] &&
           rows[byText[end]].Text == rows[byText[begin]].Text) {
      ++end;
    }
    if (end - begin > 1) OrderEqualTexts(sigs, rows, paths_, &byText[begin], &byText[end]);
    begin = end;
  }
  sigs.First();

  primaryOrder_.resize(rows.size());
  for (std::uint32_t rank = 0; rank < byText.size(); ++rank) primaryOrder_[byText[rank]] = rank;
  rowOfRank_ = std::move(byText);

  grid_ = margin_ >= 0 && canonical_;
  if (!grid_) return;
  width_ = static_cast<std::uint32_t>(std::min<std::int64_t>(std::int64_t{margin_} + 1, 256));
  side_ = 255 / width_ + 1;
  const std::uint64_t maxCells = kCellsPerRow * rows_.size() + 1024;
  std::uint64_t cells = side_;
  dims_ = 1;
  while (dims_ < kMaxDims && cells * side_ <= maxCells) {
    cells *= side_;
    ++dims_;
  }

  values_.resize(rows_.size() * kValues);
  std::vector<std::uint32_t> cellOf(rows_.size());
  cellStart_.assign(cells + 1, 0);
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    const std::uint32_t rank = primaryOrder_[row];
    std::copy_n(&bytes[row * kValues], kValues, &values_[std::size_t{rank} * kValues]);
    cellOf[rank] = CellOf(&values_[std::size_t{rank} * kValues]);
    ++cellStart_[cellOf[rank] + 1];
  }
  std::partial_sum(cellStart_.begin(), cellStart_.end(), cellStart_.begin());
  entries_.resize(rows_.size());
  std::vector<std::uint32_t> fill(cellStart_.begin(), cellStart_.end() - 1);
  for (std::uint32_t i = 0; i < rows_.size(); ++i) {
    TGridEntry& entry = entries_[fill[cellOf[i]]++];
    entry.Rank = i;
    std::copy_n(&values_[std::size_t{i} * kValues], kHeadValues, entry.Head);
  }
}

TSignature TSigsSnapshot::SignatureOf(std::uint32_t rank) const {
  if (!grid_) return ParseSignature(Row(rank).Text);
  TSignature signature;
  const std::uint8_t* values = &values_[std::size_t{rank} * kValues];
  for (TRgb& cell : signature.Cells) {
    cell = {values[0], values[1], values[2]};
    values += 3;
  }
  return signature;
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
    const TSignature own = SignatureOf(rank);
    const std::string highKey = HighKey(own.Cells[0].R, margin_);
    for (std::uint32_t other = rank + 1; other < rows_.size() && Row(other).Text <= highKey; ++other) {
      if (SignaturesMatch(own, SignatureOf(other), margin_, colors, maxDiff)) {
        partners.push_back(other);
      }
    }
    return;
  }
  const std::uint8_t* own = &values_[std::size_t{rank} * kValues];
  const THead head(own, margin_);
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
    for (std::int64_t c = cell * side + lastLow; c <= cell * side + lastHigh; ++c) {
      const TGridEntry* const end = entries_.data() + cellStart_[c + 1];
      for (const TGridEntry* entry = entries_.data() + cellStart_[c]; entry != end; ++entry) {
        // Only later rows, each of the head's values within the Margin (needed in both modes), then the
        // exact test. The first two are joined without a branch: both fail at random.
        if ((entry->Rank > rank) & head(*entry) &&
            Within(own, &values_[std::size_t{entry->Rank} * kValues], colors)) {
          partners.push_back(entry->Rank);
        }
      }
    }
  }
  std::sort(partners.begin(), partners.end());
}

}  // namespace velquin

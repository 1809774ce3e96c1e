#include "matching/candidate_grid.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "matching/written_form.h"
#include "signature/gray_grid.h"

namespace velquin {
namespace {

// The grid gets at most kCellsPerRow cells per row and at most kMaxDims dimensions: fewer, fuller
// cells scanned in long runs beat many scattered small ones, and each dimension more triples the
// cells a row's search visits. Yet the entries a search tests grow with the rows per cell: at Margin
// 10 three dimensions hold 24^3 cells, some 70 rows each at a million rows, where a fourth keeps a
// row's search as short as at a hundred thousand. A small table may still take kMinCells cells, whose
// starts cost 4 KiB.
constexpr std::uint64_t kCellsPerRow = 1;
constexpr std::uint64_t kMinCells = 1024;
constexpr int kMaxDims = 4;
constexpr std::int32_t kValueRange = 256;

// A row's first values (a grid entry's head), for testing grid entries against them two at a time:
// bit i of the result is set iff each value of entries[i] lies within the Margin of the row's.
class THeadTest {
 public:
  THeadTest(const std::uint8_t* values, std::int32_t margin) {
    const auto limit = static_cast<std::uint8_t>(std::min(margin, kValueRange - 1));
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

TCandidateGrid::TCandidateGrid(std::vector<std::uint8_t> values, std::int32_t margin, TKind kind,
                               const std::vector<bool>& present)
    : margin_(margin),
      kind_(kind),
      valuesPerRank_(kind == TKind::kSignature || kind == TKind::kSignatureKey ? kSignatureValues
                                                                               : kGrayCells),
      values_(std::move(values)) {
  const std::size_t rows = values_.size() / static_cast<std::size_t>(valuesPerRank_);
  const auto takesPart = [&](std::uint32_t rank) { return present.empty() || present[rank]; };
  width_ = static_cast<std::uint32_t>(std::min<std::int64_t>(std::int64_t{margin_} + 1, kValueRange));
  side_ = (kValueRange - 1) / width_ + 1;
  const std::uint64_t maxCells = kCellsPerRow * rows + kMinCells;
  std::uint64_t cells = side_;
  dims_ = 1;
  while (dims_ < kMaxDims && cells * side_ <= maxCells) {
    cells *= side_;
    ++dims_;
  }

  std::vector<std::uint32_t> cellOf(rows);
  cellStart_.assign(cells + 1, 0);
  std::size_t entries = 0;
  for (std::uint32_t rank = 0; rank < rows; ++rank) {
    if (!takesPart(rank)) continue;
    cellOf[rank] = CellOf(ValuesOf(rank));
    ++cellStart_[cellOf[rank] + 1];
    ++entries;
  }
  std::partial_sum(cellStart_.begin(), cellStart_.end(), cellStart_.begin());
  // One spare entry: the scan takes entries two at a time.
  entries_.resize(entries + 1);
  rankOfEntry_.resize(entries);
  std::vector<std::uint32_t> fill(cellStart_.begin(), cellStart_.end() - 1);
  for (std::uint32_t rank = 0; rank < rows; ++rank) {
    if (!takesPart(rank)) continue;
    const std::uint32_t entry = fill[cellOf[rank]]++;
    rankOfEntry_[entry] = rank;
    std::copy_n(ValuesOf(rank), kHeadValues, entries_[entry].Head);
  }
}

std::uint32_t TCandidateGrid::CellOf(const std::uint8_t* values) const {
  std::uint32_t cell = 0;
  for (int d = 0; d < dims_; ++d) cell = cell * side_ + values[d] / width_;
  return cell;
}

bool TCandidateGrid::Within(const std::uint8_t* a, const std::uint8_t* b, bool colors,
                            std::int32_t& maxDiff) const {
  maxDiff = 0;
  if (kind_ == TKind::kSignatureKey) colors = true;
  if (kind_ == TKind::kGray || kind_ == TKind::kGrayKey) {
    for (int i = 0; i < kGrayCells; ++i) {
      std::int32_t d = std::abs(int{a[i]} - int{b[i]});
      if (!colors) d *= 3;
      if (d > margin_) return false;
      maxDiff = std::max(maxDiff, d);
    }
    return true;
  }
  const int step = colors ? 1 : 3;
  for (int i = 0; i < kSignatureValues; i += step) {
    std::int32_t d = std::abs(int{a[i]} - int{b[i]});
    if (!colors) d += std::abs(int{a[i + 1]} - int{b[i + 1]}) + std::abs(int{a[i + 2]} - int{b[i + 2]});
    if (d > margin_) return false;
    maxDiff = std::max(maxDiff, d);
  }
  return true;
}

void TCandidateGrid::Partners(std::uint32_t rank, bool colors, std::vector<TPartner>& partners) const {
  partners.clear();
  Probe(ValuesOf(rank), rank, colors, true, partners);
  std::sort(partners.begin(), partners.end(),
            [](const TPartner& x, const TPartner& y) { return x.Rank < y.Rank; });
}

void TCandidateGrid::Probe(const std::uint8_t* probe, std::uint32_t after, bool colors, bool ownRow,
                           std::vector<TPartner>& partners) const {
  const THeadTest head(probe, margin_);
  std::int32_t base[kMaxDims] = {};
  for (int d = 0; d < dims_; ++d) base[d] = probe[d] / width_;
  // Neighbour cells that differ only in the last dimension are adjacent: one run of entries each. A
  // partner of a row's own values comes later in text order, so its first value is not below the
  // row's: in the first dimension only the row's cell and the next can hold one.
  const std::int32_t side = static_cast<std::int32_t>(side_);
  const int last = dims_ - 1;
  const std::int32_t lastLow = last == 0 && ownRow ? base[0] : std::max(base[last] - 1, 0);
  const std::int32_t lastHigh = std::min(base[last] + 1, side - 1);
  const int firstChoices = ownRow ? 2 : 3;
  const int firstOffset = ownRow ? 0 : 1;
  int runs = 1;
  for (int d = 0; d < last; ++d) runs *= d == 0 ? firstChoices : 3;
  for (int run = 0; run < runs; ++run) {
    std::int64_t cell = 0;
    bool inside = true;
    for (int d = 0, rest = run; d < last; ++d) {
      const int choices = d == 0 ? firstChoices : 3;
      const std::int32_t at = base[d] + rest % choices - (d == 0 ? firstOffset : 1);
      rest /= choices;
      if (at < 0 || at >= side) {
        inside = false;
        break;
      }
      cell = cell * side + at;
    }
    if (!inside) continue;
    // The run's cells lie side by side in entries_: one scan covers them all, two entries at a time
    // (the spare entry serves the last pair). A partner passes the test of the head's values (needed
    // in both modes and both kinds), comes later and passes the exact test.
    const std::uint32_t first = cellStart_[cell * side + lastLow];
    const std::uint32_t end = cellStart_[cell * side + lastHigh + 1];
    for (std::uint32_t e = first; e < end; e += 2) {
      const unsigned passed = head(&entries_[e]);
      if (passed == 0) continue;
      for (std::uint32_t i = e; i < e + 2 && i < end; ++i) {
        const std::uint32_t other = rankOfEntry_[i];
        std::int32_t maxDiff = 0;
        if ((passed >> (i - e) & 1) != 0 && other > after &&
            Within(probe, ValuesOf(other), colors, maxDiff)) {
          partners.push_back({other, maxDiff});
        }
      }
    }
  }
}

}  // namespace velquin

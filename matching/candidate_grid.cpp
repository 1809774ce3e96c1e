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

// The grid's shape. In the last dimension a cell spans Margin + 1 values: a row's reach there, Margin
// either side, falls in at most 3 adjacent cells, which lie side by side in entries_ and make one run.
// In the dimensions before it a cell spans 4 x Margin + 1 values: the reach falls in one of them about
// half the time and never in more than two. Each run costs a jump through memory and a loop of its own,
// as much as a few dozen entries scanned, so coarse cells ahead of one fine dimension keep a lookup
// to few runs where cells of Margin + 1 in every dimension would need up to 27 at a million rows.
// Dimensions are added while the grid holds at most kCellsPerRow cells per row, so the entries a
// lookup scans stay about as many however large the table: at Margin 10, 5 dimensions at a hundred
// thousand rows, 6 at a million. A small table may still take kMinCells cells, whose starts cost
// 4 KiB. A dimension of one cell narrows nothing and is not added.
constexpr std::uint64_t kCellsPerRow = 1;
constexpr std::uint64_t kMinCells = 1024;
constexpr std::int64_t kCoarseSpans = 4;
constexpr int kMaxDims = TCandidateGrid::kMaxDims;
// A lookup scans one run for each choice of cells, one or two, in every dimension but the last.
constexpr int kMaxRuns = 1 << (kMaxDims - 1);
constexpr std::int32_t kValueRange = 256;

// The values one cell spans: spans times the Margin, plus one, so that a partner lies in a row's cell
// or a neighbour's.
std::uint32_t CellWidth(std::int32_t margin, std::int64_t spans) {
  return static_cast<std::uint32_t>(std::min<std::int64_t>(margin * spans + 1, kValueRange));
}

std::uint32_t CellsAcross(std::uint32_t width) { return (kValueRange - 1) / width + 1; }

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

TCandidateGrid::TCandidateGrid(TLargeArray<std::uint8_t> values, std::int32_t margin, TKind kind,
                               const std::vector<bool>& present)
    : margin_(margin),
      kind_(kind),
      valuesPerRank_(kind == TKind::kSignature || kind == TKind::kSignatureKey ? kSignatureValues
                                                                               : kGrayCells),
      values_(std::move(values)) {
  const std::size_t rows = values_.size() / static_cast<std::size_t>(valuesPerRank_);
  const auto takesPart = [&](std::uint32_t rank) { return present.empty() || present[rank]; };
  const std::uint32_t fine = CellWidth(margin_, 1);
  const std::uint32_t coarse = CellWidth(margin_, kCoarseSpans);
  const std::uint64_t coarseSide = CellsAcross(coarse);
  const std::uint64_t maxCells = kCellsPerRow * rows + kMinCells;
  std::uint64_t cells = CellsAcross(fine);
  dims_ = 1;
  while (dims_ < kMaxDims && coarseSide > 1 && cells * coarseSide <= maxCells) {
    cells *= coarseSide;
    ++dims_;
  }
  for (int d = 0; d < dims_; ++d) {
    const std::uint32_t width = d == dims_ - 1 ? fine : coarse;
    side_[d] = CellsAcross(width);
    for (std::int32_t v = 0; v < kValueRange; ++v) cellOfValue_[d][v] = static_cast<std::uint8_t>(v / width);
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
  for (int d = 0; d < dims_; ++d) cell = cell * side_[d] + cellOfValue_[d][values[d]];
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

void TCandidateGrid::Expect(std::uint32_t rank) const {
  // A rank's values may straddle two cache lines.
  const std::uint8_t* values = ValuesOf(rank);
  __builtin_prefetch(values);
  __builtin_prefetch(values + valuesPerRank_ - 1);
}

void TCandidateGrid::Probe(const std::uint8_t* probe, std::uint32_t after, bool colors, bool ownRow,
                           std::vector<TPartner>& partners) const {
  const THeadTest head(probe, margin_);
  // The cells that can hold a partner: in each dimension those the values within the Margin of the
  // probe's fall in. A partner of a row's own values comes later in text order, so its first value is
  // not below the row's.
  const std::int32_t reach = std::min(margin_, kValueRange - 1);
  std::int32_t low[kMaxDims], high[kMaxDims], at[kMaxDims];
  for (int d = 0; d < dims_; ++d) {
    const std::int32_t v = probe[d];
    low[d] = cellOfValue_[d][d == 0 && ownRow ? v : std::max(v - reach, 0)];
    high[d] = cellOfValue_[d][std::min(v + reach, kValueRange - 1)];
    at[d] = low[d];
  }
  // Cells that differ only in the last dimension are adjacent: one run of entries for each choice of
  // the others, which are counted through like the digits of a number.
  const int last = dims_ - 1;
  // Each run's bounds first, then a fetch of each run's first entries, and only then the scans: the
  // runs' loads are under way together, not one after another (at a million rows the grid outgrows
  // the processor's nearer caches).
  struct TRun {
    std::uint32_t First;
    std::uint32_t End;
  };
  TRun runs[kMaxRuns];
  int count = 0;
  for (;;) {
    std::int64_t cell = 0;
    for (int d = 0; d < last; ++d) cell = cell * side_[d] + at[d];
    cell *= side_[last];
    runs[count++] = {cellStart_[cell + low[last]], cellStart_[cell + high[last] + 1]};
    int d = last - 1;
    while (d >= 0 && at[d] == high[d]) {
      at[d] = low[d];
      --d;
    }
    if (d < 0) break;
    ++at[d];
  }
  for (int r = 0; r < count; ++r) __builtin_prefetch(&entries_[runs[r].First]);
  for (int r = 0; r < count; ++r) {
    // The run's cells lie side by side in entries_: one scan covers them all, two entries at a time
    // (the spare entry serves the last pair). A partner passes the test of the head's values (needed
    // in both modes and both kinds), comes later and passes the exact test.
    const std::uint32_t end = runs[r].End;
    for (std::uint32_t e = runs[r].First; e < end; e += 2) {
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

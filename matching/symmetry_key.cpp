#include "matching/symmetry_key.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "matching/grid_symmetry.h"

namespace velquin {
namespace {

// The three orbits of the Cells under the symmetries; Cell k is grid column k div 4, grid row k mod 4.
struct TOrbit {
  std::array<std::uint8_t, 8> Cells;
  int Size;
};
constexpr TOrbit kOrbits[] = {{{0, 3, 12, 15}, 4}, {{5, 6, 9, 10}, 4}, {{1, 2, 4, 7, 8, 11, 13, 14}, 8}};
constexpr int kOrbitCount = 3;
constexpr int kMaxOrbit = 8;
constexpr int kMaxValues = kGridCells * 3;

// The lists (one per orbit and channel) are sorted side by side: list l in lane l of rows of kLanes
// values, row i holding each list's value i. Lists shorter than a row are filled with 255, which sorts
// to their end.
constexpr int kLanes = 16;
using TLanes = std::array<std::array<std::uint8_t, kLanes>, kMaxOrbit>;

struct TMove {
  std::uint8_t Row;
  std::uint8_t Lane;
  std::uint8_t Value;  // index of the value in the grid's values
};

// Where each value of a grid goes among the lanes, and where each key value comes from.
struct TKeyTables {
  std::array<TMove, kMaxValues> Gather{};
  std::array<TMove, kMaxValues> Layout{};  // Layout[j]: key value j is row Row of lane Lane
};

// List l sorts orbit l mod 3, channel (l + l div 3) mod channels: neighbouring lists differ in both.
// The key takes the lists' places in turns, each list from its middle outwards.
constexpr TKeyTables MakeTables(int channels) {
  TKeyTables tables;
  const int lists = kOrbitCount * channels;
  int next = 0;
  for (int list = 0; list < lists; ++list) {
    const TOrbit& orbit = kOrbits[list % kOrbitCount];
    const int channel = (list + list / kOrbitCount) % channels;
    for (int i = 0; i < orbit.Size; ++i) {
      tables.Gather[next++] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(list),
                               static_cast<std::uint8_t>(orbit.Cells[i] * channels + channel)};
    }
  }
  next = 0;
  for (int turn = 0; turn < kMaxOrbit; ++turn) {
    for (int list = 0; list < lists; ++list) {
      const int size = kOrbits[list % kOrbitCount].Size;
      if (turn >= size) continue;
      const int place = turn % 2 == 0 ? size / 2 - 1 - turn / 2 : size / 2 + turn / 2;
      tables.Layout[next++] = {static_cast<std::uint8_t>(place), static_cast<std::uint8_t>(list), 0};
    }
  }
  return tables;
}
constexpr TKeyTables kGrayTables = MakeTables(1);
constexpr TKeyTables kSignatureTables = MakeTables(3);

// A sorting network for 8 values (19 exchanges), applied to every lane at once.
constexpr std::pair<int, int> kNetwork[] = {{0, 2}, {1, 3}, {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6},
                                            {3, 7}, {0, 1}, {2, 3}, {4, 5}, {6, 7}, {2, 4}, {3, 5},
                                            {1, 4}, {3, 6}, {1, 2}, {3, 4}, {5, 6}};

void SortLanes(TLanes& lanes) {
#if defined(__SSE2__)
  __m128i rows[kMaxOrbit];
  for (int i = 0; i < kMaxOrbit; ++i) rows[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&lanes[i]));
  for (const auto& [low, high] : kNetwork) {
    const __m128i a = rows[low];
    rows[low] = _mm_min_epu8(a, rows[high]);
    rows[high] = _mm_max_epu8(a, rows[high]);
  }
  for (int i = 0; i < kMaxOrbit; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(&lanes[i]), rows[i]);
#else
  for (const auto& [low, high] : kNetwork) {
    for (int l = 0; l < kLanes; ++l) {
      const std::uint8_t a = lanes[low][l], b = lanes[high][l];
      lanes[low][l] = std::min(a, b);
      lanes[high][l] = std::max(a, b);
    }
  }
#endif
}

}  // namespace

void MakeSymmetryKey(const std::uint8_t* values, int channels, std::uint8_t* key) {
  const TKeyTables& tables = channels == 1 ? kGrayTables : kSignatureTables;
  const int count = kGridCells * channels;
  TLanes lanes;
  std::memset(&lanes, 0xFF, sizeof lanes);
  for (int i = 0; i < count; ++i) {
    const TMove& move = tables.Gather[i];
    lanes[move.Row][move.Lane] = values[move.Value];
  }
  SortLanes(lanes);
  for (int j = 0; j < count; ++j) key[j] = lanes[tables.Layout[j].Row][tables.Layout[j].Lane];
}

}  // namespace velquin

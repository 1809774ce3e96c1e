#include "matching/symmetry_key.h"

#include <algorithm>
#include <array>

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
constexpr int kMaxChannels = 3;
constexpr int kMaxKeyValues = kGridCells * kMaxChannels;

// A key value: place Place of the sorted values of channel Channel over orbit Orbit.
struct TKeySource {
  std::uint8_t Orbit;
  std::uint8_t Channel;
  std::uint8_t Place;
};

// The key's layout for cells of `channels` values. The lists (orbit, channel) take turns so that
// neighbours differ in both; each list gives its places from the middle outwards.
constexpr std::array<TKeySource, kMaxKeyValues> MakeLayout(int channels) {
  std::array<TKeySource, kMaxKeyValues> layout{};
  const int lists = kOrbitCount * channels;
  int next = 0;
  for (int turn = 0; turn < kMaxOrbit; ++turn) {
    for (int list = 0; list < lists; ++list) {
      const int orbit = list % kOrbitCount;
      const int size = kOrbits[orbit].Size;
      if (turn >= size) continue;
      const int place = turn % 2 == 0 ? size / 2 - 1 - turn / 2 : size / 2 + turn / 2;
      layout[next++] = {static_cast<std::uint8_t>(orbit),
                        static_cast<std::uint8_t>((list + list / kOrbitCount) % channels),
                        static_cast<std::uint8_t>(place)};
    }
  }
  return layout;
}
constexpr std::array<TKeySource, kMaxKeyValues> kLayout1 = MakeLayout(1);
constexpr std::array<TKeySource, kMaxKeyValues> kLayout3 = MakeLayout(kMaxChannels);

}  // namespace

void MakeSymmetryKey(const std::uint8_t* values, int channels, std::uint8_t* key) {
  std::uint8_t sorted[kOrbitCount][kMaxChannels][kMaxOrbit];
  for (int orbit = 0; orbit < kOrbitCount; ++orbit) {
    const TOrbit& o = kOrbits[orbit];
    for (int channel = 0; channel < channels; ++channel) {
      std::uint8_t* list = sorted[orbit][channel];
      for (int i = 0; i < o.Size; ++i) list[i] = values[o.Cells[i] * channels + channel];
      std::sort(list, list + o.Size);
    }
  }
  const auto& layout = channels == 1 ? kLayout1 : kLayout3;
  for (int i = 0; i < kGridCells * channels; ++i) {
    const TKeySource& source = layout[i];
    key[i] = sorted[source.Orbit][source.Channel][source.Place];
  }
}

}  // namespace velquin

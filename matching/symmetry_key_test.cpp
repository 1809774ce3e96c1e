#include "matching/symmetry_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "matching/grid_symmetry.h"

namespace velquin {
namespace {

// Grids of a Signature's values (3 per Cell) and of gray grids (1 per Cell).
constexpr int kChannelCounts[] = {3, 1};

std::vector<std::uint8_t> RandomGrid(std::mt19937& random, int channels) {
  std::uniform_int_distribution<int> value(0, 255);
  std::vector<std::uint8_t> grid(kGridCells * channels);
  for (std::uint8_t& v : grid) v = static_cast<std::uint8_t>(value(random));
  return grid;
}

std::vector<std::uint8_t> KeyOf(const std::vector<std::uint8_t>& grid, int channels) {
  std::vector<std::uint8_t> key(grid.size());
  MakeSymmetryKey(grid.data(), channels, key.data());
  return key;
}

TEST(SymmetryKeyTest, EverySymmetryGivesTheSameKeyMadeOfTheGridsValues) {
  std::mt19937 random(5);
  for (const int channels : kChannelCounts) {
    for (int i = 0; i < 200; ++i) {
      // Few distinct values in some grids, so that ties are sorted too.
      std::vector<std::uint8_t> grid = RandomGrid(random, channels);
      if (i % 2 == 1) {
        for (std::uint8_t& v : grid) v %= 3;
      }
      const std::vector<std::uint8_t> key = KeyOf(grid, channels);
      std::vector<std::uint8_t> sortedKey = key, sortedGrid = grid;
      std::sort(sortedKey.begin(), sortedKey.end());
      std::sort(sortedGrid.begin(), sortedGrid.end());
      ASSERT_EQ(sortedKey, sortedGrid) << channels;
      for (int t = 1; t < kGridSymmetries; ++t) {
        std::vector<std::uint8_t> turned(grid.size());
        MoveCells(t, grid.data(), turned.data(), channels);
        ASSERT_EQ(KeyOf(turned, channels), key) << channels << " channels, symmetry " << t;
      }
    }
  }
}

// The property the search stands on: a grid that matches another under a symmetry, each value within
// the Margin, has its key within the Margin of the other's, value by value.
TEST(SymmetryKeyTest, KeysOfGridsWithinTheMarginUnderASymmetryAreWithinIt) {
  std::mt19937 random(6);
  for (const int channels : kChannelCounts) {
    for (const int margin : {0, 3, 40}) {
      std::uniform_int_distribution<int> delta(-margin, margin), symmetry(0, kGridSymmetries - 1);
      for (int i = 0; i < 300; ++i) {
        const std::vector<std::uint8_t> grid = RandomGrid(random, channels);
        std::vector<std::uint8_t> other(grid.size());
        MoveCells(symmetry(random), grid.data(), other.data(), channels);
        for (std::uint8_t& v : other) v = static_cast<std::uint8_t>(std::clamp(v + delta(random), 0, 255));
        const std::vector<std::uint8_t> a = KeyOf(grid, channels), b = KeyOf(other, channels);
        for (std::size_t j = 0; j < a.size(); ++j)
          ASSERT_LE(std::abs(a[j] - b[j]), margin) << channels << " channels, value " << j;
      }
    }
  }
}

}  // namespace
}  // namespace velquin

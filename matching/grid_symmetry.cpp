#include "matching/grid_symmetry.h"

namespace velquin {
namespace {

constexpr std::array<std::array<std::uint8_t, kGridCells>, kGridSymmetries> MakeSources() {
  std::array<std::array<std::uint8_t, kGridCells>, kGridSymmetries> sources{};
  for (int t = 0; t < kGridSymmetries; ++t) {
    for (int column = 0; column < 4; ++column) {
      for (int row = 0; row < 4; ++row) {
        // Bit 0 mirrors the columns, bit 1 the rows, bit 2 swaps columns and rows.
        int c = (t & 1) != 0 ? 3 - column : column;
        int r = (t & 2) != 0 ? 3 - row : row;
        if ((t & 4) != 0) {
          const int swapped = c;
          c = r;
          r = swapped;
        }
        sources[t][column * 4 + row] = static_cast<std::uint8_t>(c * 4 + r);
      }
    }
  }
  return sources;
}

}  // namespace

const std::array<std::array<std::uint8_t, kGridCells>, kGridSymmetries> kSymmetrySource = MakeSources();

}  // namespace velquin

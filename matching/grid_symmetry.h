// The 8 symmetries of the 4 x 4 grid of Cells: the picture turned by 0, 90, 180 or 270 degrees, each
// also mirrored. Cells move whole; Cell k is grid column k div 4, grid row k mod 4 (signature.h).
#pragma once

#include <array>
#include <cstdint>

namespace velquin {

inline constexpr int kGridSymmetries = 8;
inline constexpr int kGridCells = 16;

// kSymmetrySource[t][k]: the Cell whose content lands in Cell k under symmetry t. t = 0 is the identity;
// the 8 form a group, so turning either picture of a pair by each of them tries every relative turn.
extern const std::array<std::array<std::uint8_t, kGridCells>, kGridSymmetries> kSymmetrySource;

// to = from with its Cells moved by symmetry t; each Cell is width consecutive values.
// REQUIRES: to and from do not overlap.
template <typename TValue>
void MoveCells(int t, const TValue* from, TValue* to, int width) {
  for (int k = 0; k < kGridCells; ++k) {
    for (int v = 0; v < width; ++v) to[k * width + v] = from[kSymmetrySource[t][k] * width + v];
  }
}

}  // namespace velquin

// The symmetry key of a grid of Cells: values that no symmetry of the grid (grid_symmetry.h) changes,
// and that stay within the Margin of each other whenever two grids match under some symmetry. One
// lookup of a row's key thus finds the rows that match it turned by any of the 8 symmetries at once;
// the exact test under each symmetry then runs on those few.
//
// Each symmetry moves the corner Cells among the corners, the 4 centre Cells among the centre and the
// 8 edge Cells among the edges. The key holds, for each of these three orbits and each channel, the
// orbit's values sorted. When grid b matches grid a turned, each orbit's values of a are paired one to
// one with b's, each pair within the Margin; the two sorted lists are then within the Margin place by
// place (pairing the sorted lists never widens the largest difference of a one-to-one pairing). In
// cell-sum mode each channel's difference is at most the Cell's sum, so the bound holds there too.
//
// Layout: the lists take turns, each giving its middle places first, so that the key's first values
// (those a candidate grid places rows by and tests first) come from different lists while there are
// lists enough, and spread widely: a sorted list's smallest and largest values crowd towards the ends
// of the range.
#pragma once

#include <cstdint>

namespace velquin {

// key = the symmetry key of the 16 Cells in values, each of channels consecutive values (3 for a
// Signature's values, 1 for a gray grid); 16 * channels values in both. REQUIRES: channels is 1 or 3;
// values and key do not overlap.
void MakeSymmetryKey(const std::uint8_t* values, int channels, std::uint8_t* key);

}  // namespace velquin

// The rules by which two Sigs rows match, beyond the comparison of their Signatures (SignaturesMatch):
//
// - Turned: a pair also matches when the Signature of one matches the Signature of the other with its
//   Cells moved by one of the 8 symmetries of the grid (grid_symmetry.h): turned copies and mirror
//   images.
// - Gray: a pair also matches when both rows hold a gray grid (signature/gray_grid.h) and the grids lie
//   within the Margin: every Cell's difference d, or 3 * d in cell-sum mode (a gray Cell as three equal
//   channels), is at most the Margin; its measure is the largest of these. With Turned too, the grids
//   are compared under every symmetry as the Signatures are.
//
// A pair matches when any of the tests passes; its MaxDiff is the smallest measure among the tests that
// pass. With neither option a pair matches exactly when SignaturesMatch says so, with its MaxDiff.
// PairMatches applies these rules to one pair: the reference every search must agree with.
#pragma once

#include <cstdint>

#include "signature/gray_grid.h"
#include "signature/signature.h"

namespace velquin {

// The tests a search applies besides the comparison of the Signatures as they stand.
struct TMatchTests {
  bool Turned = false;
  bool Gray = false;
  bool Any() const { return Turned || Gray; }
};

// Returns true iff the gray grids lie within margin of each other, maxDiff receiving their measure.
bool GrayGridsMatch(const TGrayGrid& a, const TGrayGrid& b, std::int32_t margin, bool colors,
                    std::int32_t& maxDiff);

// A row as the rules see it: its Signature and its gray grid (null for a row without one).
struct TRuleRow {
  const TSignature* Signature = nullptr;
  const TGrayGrid* Gray = nullptr;
};

// Returns true iff a and b match under the rules above, maxDiff receiving the pair's MaxDiff.
// Symmetric in a and b.
bool PairMatches(const TRuleRow& a, const TRuleRow& b, std::int32_t margin, bool colors, TMatchTests tests,
                 std::int32_t& maxDiff);

}  // namespace velquin

#include "matching/match_rules.h"

#include <algorithm>
#include <cstdlib>

#include "matching/grid_symmetry.h"
#include "matching/signatures_match.h"

namespace velquin {

bool GrayGridsMatch(const TGrayGrid& a, const TGrayGrid& b, std::int32_t margin, bool colors,
                    std::int32_t& maxDiff) {
  maxDiff = 0;
  for (int cell = 0; cell < kGrayCells; ++cell) {
    std::int32_t d = std::abs(int{a.Cells[cell]} - int{b.Cells[cell]});
    if (!colors) d *= 3;
    if (d > margin) return false;
    maxDiff = std::max(maxDiff, d);
  }
  return true;
}

bool PairMatches(const TRuleRow& a, const TRuleRow& b, std::int32_t margin, bool colors, TMatchTests tests,
                 std::int32_t& maxDiff) {
  bool matched = false;
  const auto passed = [&](bool within, std::int32_t measure) {
    if (within && (!matched || measure < maxDiff)) maxDiff = measure;
    matched |= within;
  };
  const int symmetries = tests.Turned ? kGridSymmetries : 1;
  for (int t = 0; t < symmetries; ++t) {
    std::int32_t measure = 0;
    TSignature turned;
    MoveCells(t, a.Signature->Cells.data(), turned.Cells.data(), 1);
    const bool signatures = SignaturesMatch(turned, *b.Signature, margin, colors, measure);
    passed(signatures, measure);
    if (tests.Gray && a.Gray != nullptr && b.Gray != nullptr) {
      TGrayGrid grid;
      MoveCells(t, a.Gray->Cells.data(), grid.Cells.data(), 1);
      const bool grays = GrayGridsMatch(grid, *b.Gray, margin, colors, measure);
      passed(grays, measure);
    }
  }
  if (!matched) maxDiff = 0;
  return matched;
}

}  // namespace velquin

#include "matching/signatures_match.h"

#include <cstdlib>

namespace velquin {

bool SignaturesMatch(const TSignature& a, const TSignature& b, std::int32_t margin, bool colors,
                     std::int32_t& maxDiff) {
  maxDiff = 0;
  for (std::size_t cell = 0; cell < a.Cells.size(); ++cell) {
    const TRgb& ca = a.Cells[cell];
    const TRgb& cb = b.Cells[cell];
    // 64-bit: a signature text may hold any 32-bit values, whose differences overflow 32 bits.
    const std::int64_t dr = std::llabs(static_cast<std::int64_t>(ca.R) - cb.R);
    const std::int64_t dg = std::llabs(static_cast<std::int64_t>(ca.G) - cb.G);
    const std::int64_t db = std::llabs(static_cast<std::int64_t>(ca.B) - cb.B);
    if (colors) {
      for (const std::int64_t d : {dr, dg, db}) {
        if (d > margin) return false;
        if (d > maxDiff) maxDiff = static_cast<std::int32_t>(d);
      }
    } else {
      const std::int64_t s = dr + dg + db;
      if (s > margin) return false;
      if (s > maxDiff) maxDiff = static_cast<std::int32_t>(s);
    }
  }
  return true;
}

}  // namespace velquin

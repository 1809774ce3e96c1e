// FindMatchesFor: the candidate search around one Sigs row, walking the table's BySignature index;
// the scan's incremental match after it stores a row.
#pragma once

#include <cstdint>

#include "matching/match_rules.h"

namespace velquin {

class TMatchHost;

// Records in Matches every row after the Sigs table's current row in BySignature order that matches it
// under tests (match_rules.h), unless the same pair with the same MaxDiff is there already. Without
// tests the walk ends with the first-value window v + margin, beyond which nothing matches; with them
// it goes on to the last row. REQUIRES: both tables open, Sigs browsing on the row. Sigs ends on the
// same row with the same active index on every way out; the cursor ends as the default arrow.
void FindMatchesFor(TMatchHost& host, std::int32_t margin, TMatchTests tests = {});

}  // namespace velquin

// SignaturesMatch: the comparison of two signatures within the Margin, the one test every search of
// the matching library comes down to.
#pragma once

#include <cstdint>

#include "signature/signature.h"

namespace velquin {

// Returns true iff every Cell of b lies within margin of a: channel mode (colors) compares each
// channel's absolute difference, cell-sum mode the sum of the three. maxDiff receives the largest
// measure met (on true: of the whole pair). Symmetric in a and b.
bool SignaturesMatch(const TSignature& a, const TSignature& b, std::int32_t margin, bool colors,
                     std::int32_t& maxDiff);

}  // namespace velquin

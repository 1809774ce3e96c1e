// Synthetic signatures for the tests of the matching: clusters, so that some pairs lie within a small
// Margin and most do not.
#pragma once

#include <random>
#include <vector>

#include "signature/signature.h"

namespace velquin {

// count signatures with values 0..high: one in four (and the first) fresh, each other a copy of an
// earlier one moved by up to spread in every value, kept within 0..high.
std::vector<TSignature> ClusteredSignatures(std::mt19937& random, int count, int spread, int high = 255);

}  // namespace velquin

// The loops that sum a run of pixels as equalisation would rewrite them, one per instruction set, for
// the tests that hold each one this processor runs against the plain loop. TEqualizer picks the widest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bitmap32.h"
#include "signature/signature_rows.h"

namespace velquin {

// Adds the n pixels from, each channel rewritten through multipliers[its pixel's brightness], to sums.
using TEqualizeSumSpan = void (*)(const std::uint32_t* multipliers, const TColor32* from, std::size_t n,
                                  TChannelSums& sums);

struct TEqualizeSumKernel {
  const char* Name;
  TEqualizeSumSpan Sum;
};

// The loops this processor runs, the plain one first.
std::vector<TEqualizeSumKernel> EqualizeSumKernels();

}  // namespace velquin

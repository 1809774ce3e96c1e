#include "matching/clustered_signatures.h"

#include <algorithm>

namespace velquin {

std::vector<TSignature> ClusteredSignatures(std::mt19937& random, int count, int spread, int high) {
  std::uniform_int_distribution<int> value(0, high), delta(-spread, spread), pick(0, 3);
  std::vector<TSignature> signatures;
  for (int i = 0; i < count; ++i) {
    TSignature s;
    if (i > 0 && pick(random) != 0) {
      s = signatures[std::uniform_int_distribution<int>(0, i - 1)(random)];
      for (TRgb& c : s.Cells) {
        for (std::int32_t* v : {&c.R, &c.G, &c.B}) *v = std::clamp(*v + delta(random), 0, high);
      }
    } else {
      for (TRgb& c : s.Cells) c = {value(random), value(random), value(random)};
    }
    signatures.push_back(s);
  }
  return signatures;
}

}  // namespace velquin

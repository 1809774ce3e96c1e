#include "matching/match_engine.h"

#include "matching/candidate_grid.h"
#include "matching/text_walk.h"

namespace velquin {

TMatchEngine::TMatchEngine(TRankedSignatures signatures, std::int32_t margin) {
  if (!signatures.Written) {
    // Read even under a negative Margin: a text TextToSignature cannot read fails the pass.
    auto walk = std::make_unique<TTextWalk>(std::move(signatures.Texts), margin);
    if (margin >= 0) search_ = std::move(walk);
  } else if (margin >= 0) {
    search_ = std::make_unique<TCandidateGrid>(std::move(signatures.Values), margin);
  }
}

TMatchEngine::~TMatchEngine() = default;

}  // namespace velquin

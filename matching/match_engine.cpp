#include "matching/match_engine.h"

#include "matching/candidate_grid.h"
#include "matching/text_walk.h"

namespace velquin {

TMatchEngine::TMatchEngine(TRankedSignatures signatures, std::int32_t margin) {
  if (auto* texts = std::get_if<std::vector<std::string>>(&signatures)) {
    // Read even under a negative Margin: a text TextToSignature cannot read fails the pass.
    auto walk = std::make_unique<TTextWalk>(std::move(*texts), margin);
    if (margin >= 0) search_ = std::move(walk);
  } else if (margin >= 0) {
    search_ =
        std::make_unique<TCandidateGrid>(std::move(std::get<TWrittenValues>(signatures).Values), margin);
  }
}

TMatchEngine::~TMatchEngine() = default;

void TMatchEngine::SetSearchOrder(std::vector<std::uint32_t> order) {
  if (search_ != nullptr) ahead_ = std::make_unique<TPairsAhead>(*search_, std::move(order));
}

}  // namespace velquin

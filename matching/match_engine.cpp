#include "matching/match_engine.h"

#include "matching/candidate_grid.h"
#include "matching/rule_search.h"
#include "matching/text_walk.h"
#include "matching/turned_search.h"

namespace velquin {

TMatchEngine::TMatchEngine(TRankedSignatures signatures, std::int32_t margin, TMatchTests tests,
                           TRankedGray gray) {
  if (auto* texts = std::get_if<std::vector<std::string>>(&signatures)) {
    // Read even under a negative Margin: a text TextToSignature cannot read fails the pass.
    auto walk = std::make_unique<TTextWalk>(std::move(*texts), margin, tests, std::move(gray));
    if (margin >= 0) search_ = std::move(walk);
  } else if (margin >= 0) {
    TLargeArray<std::uint8_t>& values = std::get<TWrittenValues>(signatures).Values;
    if (tests.Turned) {
      search_ = std::make_unique<TTurnedSearch>(std::move(values), std::move(gray), margin, tests);
    } else if (tests.Gray) {
      search_ = std::make_unique<TRuleSearch>(std::move(values), std::move(gray), margin);
    } else {
      search_ = std::make_unique<TCandidateGrid>(std::move(values), margin);
    }
  }
}

TMatchEngine::~TMatchEngine() = default;

void TMatchEngine::SetSearchOrder(std::vector<std::uint32_t> order) {
  if (search_ != nullptr) ahead_ = std::make_unique<TPairsAhead>(*search_, std::move(order));
}

}  // namespace velquin

// TMatchEngine: the pairs of a match pass from a snapshot of the signatures, with no table, window or
// file in sight. The caller hands the signatures in rank order (BySignature order, signature_ranking.h)
// and asks for each row's pairs in whatever order it searches the rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "matching/match_rules.h"
#include "matching/pairs_ahead.h"
#include "matching/partner_search.h"
#include "platform/large_pages.h"

namespace velquin {

// The signatures of a pass by rank: their values (kSignatureValues per rank, written_form.h) when
// every text is in the written form, else every text.
struct TWrittenValues {
  TLargeArray<std::uint8_t> Values;
};
using TRankedSignatures = std::variant<TWrittenValues, std::vector<std::string>>;

class TMatchEngine {
 public:
  // Finds the pairs under the Signatures' comparison and tests (match_rules.h); gray holds the gray
  // grids by rank when tests.Gray. Throws the conversion error of a text that TextToSignature cannot
  // read.
  TMatchEngine(TRankedSignatures signatures, std::int32_t margin, TMatchTests tests = {},
               TRankedGray gray = {});
  ~TMatchEngine();
  TMatchEngine(const TMatchEngine&) = delete;
  TMatchEngine& operator=(const TMatchEngine&) = delete;

  // Tells the engine the order in which the caller will ask for the ranks, each once, so that it can
  // work out their pairs ahead in an order that suits it (pairs_ahead.h). The pairs it hands out are
  // the same; a rank asked for out of that order is searched alone.
  void SetSearchOrder(std::vector<std::uint32_t> order);

  // Hands found(rank, partner, maxDiff) every pair of rank with a partner (partner_search.h) in the
  // mode colors, partners in ascending rank. The mode may differ from call to call. A template, so
  // that a caller's callback costs no allocation on each of the pass's rows.
  template <typename TFound>
  void FindPairsOf(std::uint32_t rank, bool colors, TFound&& found) {
    if (search_ == nullptr) return;
    if (ahead_ != nullptr) {
      ahead_->Partners(rank, colors, partners_);
    } else {
      search_->Partners(rank, colors, partners_);
    }
    for (const TPartner& partner : partners_) found(rank, partner.Rank, partner.MaxDiff);
  }

 private:
  // Null when nothing can match: a negative Margin refuses the first value of every pair.
  std::unique_ptr<TPartnerSearch> search_;
  // Null until the caller tells its order.
  std::unique_ptr<TPairsAhead> ahead_;
  std::vector<TPartner> partners_;
};

}  // namespace velquin

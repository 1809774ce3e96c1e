#include "matching/candidate_search.h"

#include "matching/match_host.h"
#include "matching/match_rules.h"
#include "matching/pair_record.h"
#include "matching/text_walk.h"
#include "platform/desktop.h"
#include "platform/scope_guard.h"
#include "tablestore/index_scope.h"
#include "tablestore/table.h"

namespace velquin {

void FindMatchesFor(TMatchHost& host, std::int32_t margin, TMatchTests tests) {
  host.Desktop().SetCursor(TCursor::crHourGlass);
  TTable& sigs = host.Sigs();
  const std::string name = sigs.FieldAsString("FileName");
  const std::string self = sigs.FieldAsString("FilePath") + name;
  BeginSearch(host, name);
  const TSignature a = TextToSignature(sigs.FieldAsString("Signature"));
  TGrayGrid grayA;
  const bool hasGrayA = tests.Gray && ReadGrayText(sigs.FieldText("Gray"), grayA);
  // Sigs comes back on the searched row with its former index, after it the arrow cursor.
  const TScopeGuard arrow([&host] { host.Desktop().SetCursor(TCursor::crDefault); });
  TIndexScope index(sigs, TIndexScope::kIndexAndRow);
  sigs.SetIndexName("BySignature");
  const std::string highKey = HighKey(a.Cells[0].R, margin);
  const bool colors = host.ColorsChecked();
  while (!sigs.Eof()) {
    const std::string text = sigs.FieldAsString("Signature");
    const TSignature b = TextToSignature(text);
    // Under the Turned or Gray test a partner's first value may lie anywhere: the walk goes on to the
    // end.
    if (!tests.Any() && text > highKey) break;
    std::int32_t maxDiff = 0;
    TGrayGrid grayB;
    const bool hasGrayB = hasGrayA && ReadGrayText(sigs.FieldText("Gray"), grayB);
    if (PairMatches({&a, hasGrayA ? &grayA : nullptr}, {&b, hasGrayB ? &grayB : nullptr}, margin, colors,
                    tests, maxDiff)) {
      const std::string partnerName = sigs.FieldAsString("FileName");
      const std::string partner = sigs.FieldAsString("FilePath") + partnerName;
      if (partner != self) RecordPair(host, maxDiff, self, partnerName, partner);
    }
    sigs.Next();
  }
  index.Restore();
}

}  // namespace velquin

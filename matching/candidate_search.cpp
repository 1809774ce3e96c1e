#include "matching/candidate_search.h"

#include "matching/match_host.h"
#include "matching/pair_record.h"
#include "matching/signatures_match.h"
#include "matching/text_walk.h"
#include "platform/desktop.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

// Puts Sigs back on the searched row with its former index, and the cursor back to the arrow.
class TSearchGuard {
 public:
  TSearchGuard(TMatchHost& host, TTable& sigs) : host_(host), sigs_(sigs), bookmark_(sigs.GetBookmark()) {
    indexName_ = sigs.IndexName();
  }
  ~TSearchGuard() {
    try {
      if (sigs_.IndexName() != indexName_) sigs_.SetIndexName(indexName_);
      sigs_.GotoBookmark(bookmark_);
    } catch (...) {
      // The failure that ended the search is the one to report.
    }
    sigs_.FreeBookmark(bookmark_);
    host_.Desktop().SetCursor(TCursor::crDefault);
  }
  TSearchGuard(const TSearchGuard&) = delete;
  TSearchGuard& operator=(const TSearchGuard&) = delete;

  const std::string& IndexName() const { return indexName_; }

 private:
  TMatchHost& host_;
  TTable& sigs_;
  TBookmark bookmark_;
  std::string indexName_;
};

}  // namespace

void FindMatchesFor(TMatchHost& host, std::int32_t margin) {
  host.Desktop().SetCursor(TCursor::crHourGlass);
  TTable& sigs = host.Sigs();
  const std::string name = sigs.FieldAsString("FileName");
  const std::string self = sigs.FieldAsString("FilePath") + name;
  BeginSearch(host, name);
  const TSignature a = TextToSignature(sigs.FieldAsString("Signature"));
  TSearchGuard guard(host, sigs);
  sigs.SetIndexName("BySignature");
  const std::string highKey = HighKey(a.Cells[0].R, margin);
  const bool colors = host.ColorsChecked();
  while (!sigs.Eof()) {
    const std::string text = sigs.FieldAsString("Signature");
    const TSignature b = TextToSignature(text);
    if (text > highKey) break;
    std::int32_t maxDiff = 0;
    if (SignaturesMatch(a, b, margin, colors, maxDiff)) {
      const std::string partnerName = sigs.FieldAsString("FileName");
      const std::string partner = sigs.FieldAsString("FilePath") + partnerName;
      if (partner != self) RecordPair(host, maxDiff, self, partnerName, partner);
    }
    sigs.Next();
  }
  sigs.SetIndexName(guard.IndexName());
}

}  // namespace velquin

#include "matching/match_host.h"
#include "matching/matching.h"
#include "matching/pair_record.h"
#include "platform/desktop.h"
#include "platform/scope_guard.h"
#include "platform/text_utils.h"
#include "tablestore/index_scope.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr std::size_t kLogLinesKept = 30;

}  // namespace

std::string HighKey(std::int32_t firstValue, std::int32_t margin) {
  return PadLeft(std::to_string(static_cast<std::int64_t>(firstValue) + margin + 1), 4);
}

bool RecordPair(TMatchHost& host, std::int32_t maxDiff, const std::string& file1,
                const std::string& partnerName, const std::string& file2) {
  TTable& matches = host.Matches();
  matches.SetKey();
  matches.SetFieldValue("MaxDiff", maxDiff);
  matches.SetFieldValue("File1", file1);
  matches.SetFieldValue("File2", file2);
  if (matches.GotoKey()) return false;
  host.AppendLogLine("Adding \"" + partnerName + "\" (" + std::to_string(maxDiff) + ")");
  matches.Append();
  matches.SetFieldValue("MaxDiff", maxDiff);
  matches.SetFieldValue("File1", file1);
  matches.SetFieldValue("File2", file2);
  matches.Post();
  host.UpdateDBLabels();
  return true;
}

void FindMatchesFor(TMatchHost& host) {
  host.Desktop().SetCursor(TCursor::crHourGlass);
  TTable& sigs = host.Sigs();
  const std::string name = sigs.FieldAsString("FileName");
  const std::string self = sigs.FieldAsString("FilePath") + name;
  host.AppendLogLine("Evaluating \"" + name + "\"");
  host.LimitLogLines(kLogLinesKept);
  const TSignature a = TextToSignature(sigs.FieldAsString("Signature"));
  // Sigs comes back on the searched row with its former index, after it the arrow cursor.
  const TScopeGuard arrow([&host] { host.Desktop().SetCursor(TCursor::crDefault); });
  TIndexScope index(sigs, TIndexScope::kIndexAndRow);
  sigs.SetIndexName("BySignature");
  const std::string highKey = HighKey(a.Cells[0].R, host.FMargin);
  const bool colors = host.ColorsChecked();
  while (!sigs.Eof()) {
    const std::string text = sigs.FieldAsString("Signature");
    const TSignature b = TextToSignature(text);
    if (text > highKey) break;
    std::int32_t maxDiff = 0;
    if (SignaturesMatch(a, b, host.FMargin, colors, maxDiff)) {
      const std::string partnerName = sigs.FieldAsString("FileName");
      const std::string partner = sigs.FieldAsString("FilePath") + partnerName;
      if (partner != self) RecordPair(host, maxDiff, self, partnerName, partner);
    }
    sigs.Next();
  }
  index.Restore();
}

}  // namespace velquin

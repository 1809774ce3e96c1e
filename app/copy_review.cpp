#include "app/copy_review.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "matching/match_host.h"
#include "matching/match_review.h"
#include "matching/match_rules.h"
#include "platform/date_time.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"
#include "signature/convert.h"
#include "signature/gray_grid.h"
#include "tablestore/index_scope.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

struct TSigsEntry {
  bool Found = false;
  double FileDate = 0;
  std::string Signature;
  std::string Gray;
};

TSigsEntry SigsEntryOf(TTable& sigs, const std::string& file) {
  const TIndexScope index(sigs);
  sigs.SetIndexName("");
  sigs.SetKey();
  sigs.SetFieldValue("FileName", std::string(NameOfPath(file)));
  sigs.SetFieldValue("FilePath", std::string(FolderOfPath(file)));
  if (!sigs.GotoKey()) return {};
  return {true, sigs.FieldAsDateTime("FileDate"), sigs.FieldAsString("Signature"),
          sigs.FieldAsString("Gray")};
}

// Whether the two rows match under the current Margin and Colors, with `tests` besides the plain
// comparison.
bool EntriesMatch(TMatchHost& host, const TSigsEntry& a, const TSigsEntry& b, TMatchTests tests) {
  const TSignature signatureA = TextToSignature(a.Signature);
  const TSignature signatureB = TextToSignature(b.Signature);
  TGrayGrid grayA{}, grayB{};
  const bool hasGrayA = ReadGrayText(a.Gray, grayA);
  const bool hasGrayB = ReadGrayText(b.Gray, grayB);
  std::int32_t maxDiff = 0;
  return PairMatches({&signatureA, hasGrayA ? &grayA : nullptr}, {&signatureB, hasGrayB ? &grayB : nullptr},
                     StrToInt(host.MarginText()), host.ColorsChecked(), tests, maxDiff);
}

// The file's date as the scan stored it: equal to the millisecond, the precision of the stored dates.
bool SameDate(double a, double b) { return std::nearbyint(a * 86400000.0) == std::nearbyint(b * 86400000.0); }

}  // namespace

std::vector<TCopyPair> ReadCopyPairs(const TTable& matches) {
  std::vector<TCopyPair> pairs;
  const std::int32_t rows = matches.RecordCount();
  pairs.reserve(static_cast<std::size_t>(rows));
  const std::string& folder = matches.DatabaseName;
  for (std::int32_t row = 1; row <= rows; ++row) {
    const TFieldValue file1 = matches.ValueAt(row, "File1");
    const TFieldValue file2 = matches.ValueAt(row, "File2");
    if (!std::holds_alternative<std::string>(file1) || !std::holds_alternative<std::string>(file2)) continue;
    TCopyPair pair{std::get<std::string>(file1), std::get<std::string>(file2)};
    // Rows below the Folder exist only while Subfolders is ticked: a scan without it removes them.
    if (!IsFileWithin(pair.File1, folder, true) || !IsFileWithin(pair.File2, folder, true)) continue;
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

void MarkPairsOnlyGrayOrTurned(TMatchHost& host, std::vector<TCopyPair>& pairs) {
  // Without Turned and Gray no pair can pass the re-check before a move except by the plain
  // comparison, so none needs telling apart.
  if (!host.MatchTestsChecked().Any()) return;
  std::unordered_map<std::string, TSigsEntry> entries;
  const auto entryOf = [&](const std::string& file) -> const TSigsEntry& {
    const auto found = entries.find(file);
    if (found != entries.end()) return found->second;
    return entries.emplace(file, SigsEntryOf(host.Sigs(), file)).first->second;
  };
  for (TCopyPair& pair : pairs) {
    const TSigsEntry& a = entryOf(pair.File1);
    const TSigsEntry& b = entryOf(pair.File2);
    pair.OnlyGrayOrTurned = a.Found && b.Found && !EntriesMatch(host, a, b, {});
  }
}

std::string WhyKept(TMatchHost& host, const TCopyGroups& groups, const std::string& keeper,
                    const std::string& member, bool includeGrayOrTurned) {
  bool onlyGrayOrTurned = false;
  if (!groups.Paired(keeper, member, &onlyGrayOrTurned)) return "not paired with the keeper";
  if (onlyGrayOrTurned && !includeGrayOrTurned) return "paired with the keeper only through Gray or Turned";
  if (!IsFileWithin(member, host.Matches().DatabaseName, host.SubfoldersChecked()))
    return "not in the folder";
  if (!FileExists(keeper)) return "the keeper is missing";
  if (!FileExists(member)) return "missing";
  if (AreSameFile(keeper, member)) return "another name of the keeper's file";
  const TSigsEntry keeperEntry = SigsEntryOf(host.Sigs(), keeper);
  const TSigsEntry memberEntry = SigsEntryOf(host.Sigs(), member);
  if (!keeperEntry.Found) return "the keeper has no signature";
  if (!memberEntry.Found) return "no signature";
  if (!SameDate(keeperEntry.FileDate, GetFileDate(keeper)))
    return "the keeper changed since its signature was made";
  if (!SameDate(memberEntry.FileDate, GetFileDate(member))) return "changed since its signature was made";
  if (!EntriesMatch(host, keeperEntry, memberEntry, host.MatchTestsChecked()))
    return "no longer alike under the current Margin";
  return "";
}

TRestPlan PlanTrashTheRest(TMatchHost& host, const TCopyGroups& groups, std::size_t group,
                           bool includeGrayOrTurned) {
  const std::vector<TGroupMember>& members = groups.Groups().at(group).Members;
  TRestPlan plan{members.front().FullName, {}};
  for (std::size_t i = 1; i < members.size(); ++i) {
    plan.Steps.push_back({members[i].FullName,
                          WhyKept(host, groups, plan.Keeper, members[i].FullName, includeGrayOrTurned), ""});
  }
  return plan;
}

TTrashAction TrashTheRest(TMatchHost& host, const TCopyGroups& groups, std::vector<TRestPlan>& plans,
                          bool includeGrayOrTurned, const std::function<bool()>& stopAsked) {
  std::int64_t toMove = 0;
  for (const TRestPlan& plan : plans)
    toMove += std::count_if(plan.Steps.begin(), plan.Steps.end(),
                            [](const TRestStep& step) { return step.Skip.empty(); });
  TProgress& progress = host.RunningProgress();
  progress.ResetCounts();
  progress.SetTotal(toMove);
  progress.SetStartTime(Now());
  progress.BeginItems(toMove, host);
  TTrashAction action;
  std::vector<std::string> moved;
  bool stopped = false;
  for (TRestPlan& plan : plans) {
    for (TRestStep& step : plan.Steps) {
      if (!step.Skip.empty()) continue;
      stopped = stopped || (stopAsked && stopAsked());
      if (stopped) break;
      step.Skip = WhyKept(host, groups, plan.Keeper, step.File, includeGrayOrTurned);
      if (step.Skip.empty()) {
        try {
          TTrashedFile entry = RecycleFolderFile(host, step.File);
          step.Trashed = entry.Trashed;
          action.Files.push_back({step.File, std::move(entry)});
          moved.push_back(step.File);
        } catch (const ERecycleError& error) {
          step.Skip = error.what();
          step.MoveFailed = true;
        }
      }
      progress.CountItemDone();
      progress.UpdateProgress(1, host);
    }
  }
  progress.EndItems(host);
  if (!moved.empty()) {
    RemoveRecords(host.Sigs(), host.Matches(), moved, action, [&] { progress.UpdateProgress(1, host); });
    host.UpdateDBLabels();
  }
  return action;
}

}  // namespace velquin

#include "app/match_command.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/program_tables.h"
#include "matching/match_engine.h"
#include "matching/match_host.h"
#include "matching/pair_record.h"
#include "matching/sigs_snapshot.h"
#include "platform/date_time.h"
#include "platform/desktop.h"
#include "platform/ini_file.h"
#include "platform/scope_guard.h"
#include "platform/text_file.h"
#include "platform/text_utils.h"
#include "scan/progress.h"
#include "signature/convert.h"
#include "tablestore/notification_hold.h"
#include "tablestore/table.h"
#include "tablestore/table_files.h"

namespace velquin {
namespace {

// The search of the Sigs row at place of the primary index: the same pairs, in the same order, with
// the same log lines as the walk along BySignature of FindMatchesFor.
void SearchRow(TMatchHost& host, TTable& pairs, const TSigsSnapshot& snapshot, TMatchEngine& engine,
               std::size_t place) {
  const std::uint32_t rank = snapshot.PrimaryOrder()[place];
  BeginSearch(host, snapshot.FileNameAt(place));
  std::string self;
  engine.FindPairsOf(
      rank, host.ColorsChecked(), [&](std::uint32_t, std::uint32_t partner, std::int32_t maxDiff) {
        if (self.empty()) self = snapshot.FullName(rank);
        const std::string partnerName = snapshot.FullName(partner);
        if (partnerName != self)
          RecordPair(host, pairs, maxDiff, self, std::string(snapshot.FileName(partner)), partnerName);
      });
  host.Desktop().SetCursor(TCursor::crDefault);
}

std::string SummaryLine(std::int64_t done, double elapsed) {
  const double now = Now();
  return ShortDateText(now) + "  " + LongTimeText(now) + "  Processed " + PadLeft(IntToStrSep(done), 6) +
         " records in " + ElapsedText(elapsed);
}

// The table a pass fills beside Matches; it takes Matches' place only once every pair is in it.
constexpr char kPassTableName[] = "Matches-new.Dat";

// The key of the row `table` rests on, or nothing when it is empty.
std::optional<std::vector<TFieldValue>> RestingKey(const TTable& table) {
  if (table.RecordCount() == 0) return std::nullopt;
  return std::vector<TFieldValue>{table.FieldValue("MaxDiff"), table.FieldValue("File1"),
                                  table.FieldValue("File2")};
}

}  // namespace

void TMatchCommand::Run() {
  TTable& sigs = host_.Sigs();
  TTable& matches = host_.Matches();
  const std::string summaryLog = options_.AppDir + "summary-log.txt";
  host_.Desktop().SetCursor(TCursor::crHourGlass);
  host_.SetReviewButtonsEnabled(false);
  // The cursor, the count labels and the review buttons come back on every way out.
  const TScopeGuard passEnd([this] {
    host_.Desktop().SetCursor(TCursor::crDefault);
    Quietly([this] { host_.UpdateDBLabels(); });
    host_.SetReviewButtonsEnabled(true);
  });

  const std::int32_t margin = StrToInt(host_.MarginText());
  // The previous pairs stay in Matches until the new ones are complete: the pass fills a table of
  // its own, which then takes the place of Matches. A pass that fails drops that table.
  const std::string folder = matches.DatabaseName;
  TTable pairs("MatchesTable");
  pairs.DatabaseName = folder;
  pairs.TableName = kPassTableName;
  SetMatchesSchema(pairs);
  DropTable(folder, kPassTableName);
  pairs.CreateTable();
  bool installed = false;
  const TScopeGuard dropPairs([&] {
    if (installed) return;
    Quietly([&] {
      pairs.Close();
      DropTable(folder, kPassTableName);
    });
    if (!matches.Active()) Quietly([&] { matches.Open(); });
  });
  pairs.Open();
  AppendLineCRLF(summaryLog, "Cleared Match Database");

  // Resumed on every way out, so the grid and the pair display follow Matches again after a failure.
  TNotificationHold matchesSuspension(matches);
  host_.Desktop().SetCursor(TCursor::crHourGlass);
  host_.SetTitle("Comparing Signatures...");
  TProgress& progress = host_.RunningProgress();
  progress.SetDone(0);
  progress.SetStartTime(Now());
  // The pairs found take the place of Matches: all of them at the end, or those found so far when the
  // user stops the pass (a stop is no failure: what was found stays, as a stopped scan keeps its rows).
  const auto install = [&] {
    // Matches rests on the last pair added, as it would had the pairs been added to it directly.
    const std::optional<std::vector<TFieldValue>> lastPair = RestingKey(pairs);
    pairs.Close();
    matches.Close();
    ReplaceTable(folder, kPassTableName, matches.TableName);
    installed = true;
    matches.Open();
    if (lastPair) {
      matches.SetKey();
      matches.SetFieldValue("MaxDiff", (*lastPair)[0]);
      matches.SetFieldValue("File1", (*lastPair)[1]);
      matches.SetFieldValue("File2", (*lastPair)[2]);
      matches.GotoKey();
    }
  };
  try {
    TNotificationHold sigsSuspension(sigs);
    // While Sigs is walked the progress line shows the count of pairs found; the title goes with the walk.
    progress.SetMatchPass(&pairs);
    const TScopeGuard walkEnd([this] {
      host_.RunningProgress().EndItems(host_);
      host_.RunningProgress().SetMatchPass(nullptr);
      host_.SetTitle("");
    });

    TSigsSnapshot snapshot(sigs, options_.Gray);
    TMatchEngine engine(snapshot.TakeSignatures(), margin, {options_.Turned, options_.Gray},
                        snapshot.TakeGray());
    const auto& order = snapshot.PrimaryOrder();
    engine.SetSearchOrder(order);
    progress.SetTotal(static_cast<std::int64_t>(order.size()));
    progress.BeginItems(progress.Total(), host_);
    for (std::size_t i = 0; i < order.size(); ++i) {
      host_.Desktop().SetCursor(TCursor::crHourGlass);
      host_.ProcessMessages();
      SearchRow(host_, pairs, snapshot, engine, i);
      progress.CountItemDone();
      progress.UpdateProgress(1, host_);
      if (i + 1 == order.size()) {
        TIniFile ini(options_.AppDir + "Velquin.INI");
        ini.WriteString("Params", "CompMatchFName", "");
        ini.WriteString("Params", "CompMatchFPath", "");
      }
    }
  } catch (const std::exception&) {
    throw;
  } catch (...) {
    install();
    throw;
  }
  install();
  host_.Desktop().SetCursor(TCursor::crDefault);
  progress.SetEndTime(Now());
  const double elapsed = progress.EndTime() - progress.StartTime();
  const std::string text =
      "Processed " + IntToStrSep(progress.Done()) + " records in " + ElapsedText(elapsed);
  matchesSuspension.Resume();
  if (!options_.AutoRun) host_.Desktop().ShowMessage(text);
  AppendLineCRLF(summaryLog, SummaryLine(progress.Done(), elapsed));
}

}  // namespace velquin

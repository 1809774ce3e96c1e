#include "app/match_command.h"

#include <cstdint>
#include <string>
#include <vector>

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

namespace velquin {
namespace {

// The search of one Sigs row: the same pairs, in the same order, with the same log lines as the walk
// along BySignature of FindMatchesFor.
void SearchRow(TMatchHost& host, const TSigsSnapshot& snapshot, TMatchEngine& engine, std::uint32_t rank) {
  BeginSearch(host, snapshot.FileName(rank));
  std::string self;
  engine.FindPairsOf(
      rank, host.ColorsChecked(), [&](std::uint32_t, std::uint32_t partner, std::int32_t maxDiff) {
        if (self.empty()) self = snapshot.FullName(rank);
        const std::string partnerName = snapshot.FullName(partner);
        if (partnerName != self)
          RecordPair(host, maxDiff, self, std::string(snapshot.FileName(partner)), partnerName);
      });
  host.Desktop().SetCursor(TCursor::crDefault);
}

std::string SummaryLine(std::int64_t done, double elapsed) {
  const double now = Now();
  return ShortDateText(now) + "  " + LongTimeText(now) + "  Processed " + PadLeft(IntToStrSep(done), 6) +
         " records in " + ElapsedText(elapsed);
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
  matches.EmptyTable();
  AppendLineCRLF(summaryLog, "Cleared Match Database");

  // Resumed on every way out, so the grid and the pair display follow Matches again after a failure.
  TNotificationHold matchesSuspension(matches);
  host_.Desktop().SetCursor(TCursor::crHourGlass);
  host_.SetTitle("Comparing Signatures...");
  TProgress& progress = host_.RunningProgress();
  progress.SetDone(0);
  progress.SetStartTime(Now());
  {
    TNotificationHold sigsSuspension(sigs);
    // While Sigs is walked the progress line shows the Matches count; the title goes with the walk.
    progress.SetMatchPass(&matches);
    const TScopeGuard walkEnd([this] {
      host_.RunningProgress().SetMatchPass(nullptr);
      host_.SetTitle("");
    });

    TSigsSnapshot snapshot(sigs);
    TMatchEngine engine(snapshot.TakeSignatures(), margin);
    const auto& order = snapshot.PrimaryOrder();
    engine.SetSearchOrder(order);
    progress.SetTotal(static_cast<std::int64_t>(order.size()));
    for (std::size_t i = 0; i < order.size(); ++i) {
      host_.Desktop().SetCursor(TCursor::crHourGlass);
      host_.ProcessMessages();
      SearchRow(host_, snapshot, engine, order[i]);
      progress.UpdateProgress(1, host_);
      if (i + 1 == order.size()) {
        TIniFile ini(options_.AppDir + "Velquin.INI");
        ini.WriteString("Params", "CompMatchFName", "");
        ini.WriteString("Params", "CompMatchFPath", "");
      }
    }
  }
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

#include <exception>

#include "matching/match_host.h"
#include "matching/matching.h"
#include "matching/pair_record.h"
#include "matching/sigs_snapshot.h"
#include "platform/date_time.h"
#include "platform/desktop.h"
#include "platform/ini_file.h"
#include "platform/scope_guard.h"
#include "platform/text_file.h"
#include "platform/text_utils.h"
#include "signature/convert.h"
#include "signature/progress.h"
#include "tablestore/notification_hold.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr std::size_t kLogLinesKept = 30;

// The candidate search of one Sigs row, on the snapshot: the same pairs, in the same order, with the
// same log lines as the walk along BySignature of FindMatchesFor.
void SearchRow(TMatchHost& host, const TSigsSnapshot& snapshot, std::uint32_t rank,
               std::vector<std::uint32_t>& partners) {
  host.Desktop().SetCursor(TCursor::crHourGlass);
  const std::string_view fileName = snapshot.FileName(rank);
  std::string line;
  line.reserve(13 + fileName.size());
  line.append("Evaluating \"").append(fileName).append("\"");
  host.AppendLogLine(std::move(line));
  host.LimitLogLines(kLogLinesKept);
  const bool colors = host.ColorsChecked();
  snapshot.Partners(rank, colors, partners);
  if (!partners.empty()) {
    const std::string self = snapshot.FullName(rank);
    const TSignature signature = snapshot.SignatureOf(rank);
    for (const std::uint32_t other : partners) {
      const std::string partnerName = snapshot.FullName(other);
      std::int32_t maxDiff = 0;
      SignaturesMatch(signature, snapshot.SignatureOf(other), host.FMargin, colors, maxDiff);
      if (partnerName != self)
        RecordPair(host, maxDiff, self, std::string(snapshot.FileName(other)), partnerName);
    }
  }
  host.Desktop().SetCursor(TCursor::crDefault);
}

std::string SummaryLine(std::int64_t done, double elapsed) {
  const double now = Now();
  return ShortDateText(now) + "  " + LongTimeText(now) + "  Processed " + PadLeft(IntToStrSep(done), 6) +
         " records in " + ElapsedText(elapsed);
}

}  // namespace

void ComputeMatches(TMatchHost& host) {
  TTable& sigs = host.Sigs();
  TTable& matches = host.Matches();
  const std::string summaryLog = host.FAppDir + "summary-log.txt";
  host.Desktop().SetCursor(TCursor::crHourGlass);
  host.SetReviewButtonsEnabled(false);
  // The cursor, the labels and the review buttons come back on every way out.
  const TScopeGuard passEnd([&host] {
    host.Desktop().SetCursor(TCursor::crDefault);
    Quietly([&host] { host.UpdateDBLabels(); });
    host.SetReviewButtonsEnabled(true);
  });

  host.FMargin = StrToInt(host.MarginText());
  matches.EmptyTable();
  AppendLineCRLF(summaryLog, "Cleared Match Database");

  // Resumed on every way out, so the grid and the pair display follow Matches again after a failure.
  TNotificationHold matchesSuspension(matches);
  host.Desktop().SetCursor(TCursor::crHourGlass);
  host.SetTitle("Comparing Signatures...");
  host.FDone = 0;
  host.FStartTime = Now();
  {
    TNotificationHold sigsSuspension(sigs);
    const TScopeGuard passRunning([&host] {
      host.FMatchPassRunning = false;
      host.SetTitle("");
    });
    host.FMatchPassRunning = true;

    const TSigsSnapshot snapshot(sigs, host.FMargin);
    host.FTotal = static_cast<std::int64_t>(snapshot.PrimaryOrder().size());
    std::vector<std::uint32_t> partners;
    const auto& order = snapshot.PrimaryOrder();
    for (std::size_t i = 0; i < order.size(); ++i) {
      host.Desktop().SetCursor(TCursor::crHourGlass);
      host.ProcessMessages();
      SearchRow(host, snapshot, order[i], partners);
      UpdateProgress(host, 1);
      if (i + 1 == order.size()) {
        TIniFile ini(host.FAppDir + "Velquin.INI");
        ini.WriteString("Params", "CompMatchFName", "");
        ini.WriteString("Params", "CompMatchFPath", "");
      }
    }
  }
  host.Desktop().SetCursor(TCursor::crDefault);
  host.FEndTime = Now();
  const double elapsed = host.FEndTime - host.FStartTime;
  const std::string text = "Processed " + IntToStrSep(host.FDone) + " records in " + ElapsedText(elapsed);
  matchesSuspension.Resume();
  if (!host.FAutoRun) host.Desktop().ShowMessage(text);
  AppendLineCRLF(summaryLog, SummaryLine(host.FDone, elapsed));
}

}  // namespace velquin

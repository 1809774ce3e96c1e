#include <exception>

#include "matching/match_host.h"
#include "matching/matching.h"
#include "matching/pair_record.h"
#include "matching/sigs_snapshot.h"
#include "platform/date_time.h"
#include "platform/desktop.h"
#include "platform/ini_file.h"
#include "platform/text_file.h"
#include "platform/text_utils.h"
#include "scan/progress.h"
#include "signature/convert.h"
#include "tablestore/notification_hold.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr std::size_t kLogLinesKept = 30;

// Guard A: cursor, labels and review buttons, on every way out.
class TPassGuard {
 public:
  explicit TPassGuard(TMatchHost& host) : host_(host) {}
  ~TPassGuard() {
    host_.Desktop().SetCursor(TCursor::crDefault);
    try {
      host_.UpdateDBLabels();
    } catch (...) {
      // The failure that ended the pass is the one to report.
    }
    host_.SetReviewButtonsEnabled(true);
  }
  TPassGuard(const TPassGuard&) = delete;
  TPassGuard& operator=(const TPassGuard&) = delete;

 private:
  TMatchHost& host_;
};

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
  TPassGuard guardA(host);

  host.FMargin = StrToInt(host.MarginText());
  matches.EmptyTable();
  AppendLineCRLF(summaryLog, "Cleared Match Database");

  // Resumed on every way out, so the grid and the pair display follow Matches again after a failure.
  TNotificationHold matchesSuspension(matches);
  host.Desktop().SetCursor(TCursor::crHourGlass);
  host.SetTitle("Comparing Signatures...");
  TProgress& progress = host.RunningProgress();
  progress.SetDone(0);
  progress.SetStartTime(Now());
  {
    TNotificationHold sigsSuspension(sigs);
    struct TGuardB {
      TMatchHost& host;
      ~TGuardB() {
        host.RunningProgress().SetMatchPass(nullptr);
        host.SetTitle("");
      }
    } guardB{host};
    progress.SetMatchPass(&matches);

    const TSigsSnapshot snapshot(sigs, host.FMargin);
    progress.SetTotal(static_cast<std::int64_t>(snapshot.PrimaryOrder().size()));
    std::vector<std::uint32_t> partners;
    const auto& order = snapshot.PrimaryOrder();
    for (std::size_t i = 0; i < order.size(); ++i) {
      host.Desktop().SetCursor(TCursor::crHourGlass);
      host.ProcessMessages();
      SearchRow(host, snapshot, order[i], partners);
      progress.UpdateProgress(1, host);
      if (i + 1 == order.size()) {
        TIniFile ini(host.FAppDir + "Velquin.INI");
        ini.WriteString("Params", "CompMatchFName", "");
        ini.WriteString("Params", "CompMatchFPath", "");
      }
    }
  }
  host.Desktop().SetCursor(TCursor::crDefault);
  progress.SetEndTime(Now());
  const double elapsed = progress.EndTime() - progress.StartTime();
  const std::string text =
      "Processed " + IntToStrSep(progress.Done()) + " records in " + ElapsedText(elapsed);
  matchesSuspension.Resume();
  if (!host.FAutoRun) host.Desktop().ShowMessage(text);
  AppendLineCRLF(summaryLog, SummaryLine(progress.Done(), elapsed));
}

}  // namespace velquin

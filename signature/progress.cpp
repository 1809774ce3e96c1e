#include "signature/progress.h"

#include <chrono>
#include <cmath>
#include <limits>

#include "platform/date_time.h"
#include "platform/text_utils.h"
#include "signature/scan_host.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr double kSecondsPerDay = 24.0 * 60 * 60;
// The line is shown at most this often: composing it costs more than a whole tick of the match pass.
constexpr auto kLineInterval = std::chrono::milliseconds(100);

std::string RateText(double rate) {
  if (rate >= 10) return IntToStrSep(static_cast<std::int64_t>(std::nearbyint(rate)));
  return FormatFixed2(rate);
}

std::string ToGoText(std::int64_t seconds) {
  std::string text;
  if (seconds / 86400 > 0) text = std::to_string(seconds / 86400) + " ";
  const std::int64_t s = seconds % 60;
  text += std::to_string((seconds / 3600) % 24) + ":" + std::to_string((seconds / 60) % 60) + ":" +
          (s < 10 ? "0" : "") + std::to_string(s);
  return text;
}

}  // namespace

std::string ComposeProgressLine(TScanHost& host, double now) {
  const double elapsed = now - host.FStartTime;
  const double rate = elapsed > 0 ? static_cast<double>(host.FDone) / (elapsed * kSecondsPerDay) : 0;
  std::string line;
  if (host.FTotal > 1) {
    std::int64_t seconds = 0;
    if (rate > 0) {
      const double togo = std::nearbyint(static_cast<double>(host.FTotal - host.FDone) / rate);
      seconds = togo >= static_cast<double>(std::numeric_limits<std::int64_t>::max())
                    ? std::numeric_limits<std::int64_t>::max()
                    : static_cast<std::int64_t>(togo);
    }
    line = IntToStrSep(host.FDone) + " out of " + IntToStrSep(host.FTotal) + " in " + TimeOfDayText(elapsed) +
           " (" + ToGoText(seconds) + " to go, " + RateText(rate) + " per second)";
  } else {
    line = IntToStrSep(host.FDone) + " in " + TimeOfDayText(elapsed) + " (" + RateText(rate) + " per second)";
  }
  if (host.FMatchPassRunning) {
    line += "  " + std::to_string(host.Matches().RecordCount()) + " matches";
  } else if (host.FAdds > 0 || host.FEdits > 0) {
    line += " [" + IntToStrSep(host.FAdds) + " adds, " + IntToStrSep(host.FEdits) + " edits]";
  }
  return line;
}

void UpdateProgress(TScanHost& host, std::int32_t n) {
  if (host.FTotal == 0) return;
  ++host.FDone;
  if (host.FDone % n != 0) return;
  try {
    const auto clock = std::chrono::steady_clock::now();
    if (clock - host.FProgressShownAt >= kLineInterval) {
      host.FProgressShownAt = clock;
      host.ShowProgressLine(ComposeProgressLine(host, Now()));
    }
    host.ProcessMessages();
  } catch (...) {
    // The tick reports nothing to its caller.
  }
}

}  // namespace velquin

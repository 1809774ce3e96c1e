#include "scan/progress.h"

#include <chrono>
#include <cmath>
#include <limits>

#include "platform/date_time.h"
#include "platform/text_utils.h"
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

std::string ComposeProgressLine(const TProgress& progress, double now) {
  const double elapsed = now - progress.StartTime();
  const double rate = elapsed > 0 ? static_cast<double>(progress.Done()) / (elapsed * kSecondsPerDay) : 0;
  const std::int64_t done = progress.Done();
  const std::int64_t total = progress.Total();
  std::string line;
  if (total > 1) {
    std::int64_t seconds = 0;
    if (rate > 0) {
      const double togo = std::nearbyint(static_cast<double>(total - done) / rate);
      seconds = togo >= static_cast<double>(std::numeric_limits<std::int64_t>::max())
                    ? std::numeric_limits<std::int64_t>::max()
                    : static_cast<std::int64_t>(togo);
    }
    line = IntToStrSep(done) + " out of " + IntToStrSep(total) + " in " + TimeOfDayText(elapsed) + " (" +
           ToGoText(seconds) + " to go, " + RateText(rate) + " per second)";
  } else {
    line = IntToStrSep(done) + " in " + TimeOfDayText(elapsed) + " (" + RateText(rate) + " per second)";
  }
  if (progress.MatchPassRunning()) {
    line += "  " + std::to_string(progress.MatchPassMatches()->RecordCount()) + " matches";
  } else if (progress.Adds() > 0 || progress.Edits() > 0) {
    line += " [" + IntToStrSep(progress.Adds()) + " adds, " + IntToStrSep(progress.Edits()) + " edits]";
  }
  return line;
}

void TProgress::UpdateProgress(std::int32_t n, TProgressSink& sink) noexcept {
  if (total_ == 0) return;
  ++done_;
  if (done_ % n != 0) return;
  try {
    const auto clock = std::chrono::steady_clock::now();
    if (clock - shownAt_ >= kLineInterval) {
      shownAt_ = clock;
      sink.ShowProgressLine(ComposeProgressLine(*this, Now()));
    }
    sink.ProcessMessages();
  } catch (...) {
    // The tick reports nothing to its caller.
  }
}

}  // namespace velquin

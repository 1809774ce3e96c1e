#include "scan/progress.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "platform/date_time.h"
#include "platform/scope_guard.h"
#include "platform/text_utils.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr double kSecondsPerDay = 24.0 * 60 * 60;
// The line is shown anew this often: often enough to follow, and composing it costs more than a
// whole tick of the match pass.
constexpr auto kLineInterval = std::chrono::milliseconds(250);

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
  const std::int64_t done = progress.ItemsDone();
  const std::int64_t total = progress.ItemsToDo();
  const double rate = elapsed > 0 ? static_cast<double>(done) / (elapsed * kSecondsPerDay) : 0;
  // Until an item is done there is no rate, and no time to go worth showing.
  const bool known = rate > 0;
  std::string line = IntToStrSep(done);
  if (total > 1) line += " out of " + IntToStrSep(total);
  line += " in " + TimeOfDayText(elapsed);
  if (known && total > 1) {
    const double togo = std::nearbyint(static_cast<double>(std::max<std::int64_t>(total - done, 0)) / rate);
    const std::int64_t seconds = togo >= static_cast<double>(std::numeric_limits<std::int64_t>::max())
                                     ? std::numeric_limits<std::int64_t>::max()
                                     : static_cast<std::int64_t>(togo);
    line += " (" + ToGoText(seconds) + " to go, " + RateText(rate) + " per second)";
  } else if (known) {
    line += " (" + RateText(rate) + " per second)";
  }
  if (progress.MatchPassRunning()) {
    line += "  " + std::to_string(progress.MatchPassMatches()->RecordCount()) + " matches";
  } else if (progress.Adds() > 0 || progress.Edits() > 0) {
    line += " [" + IntToStrSep(progress.Adds()) + " adds, " + IntToStrSep(progress.Edits()) + " edits]";
  }
  return line;
}

void TProgress::ShowLine(TProgressSink& sink) {
  shownAt_ = std::chrono::steady_clock::now();
  sink.ShowProgressLine(ComposeProgressLine(*this, Now()));
}

void TProgress::BeginItems(std::int64_t toDo, TProgressSink& sink) noexcept {
  itemsDone_ = 0;
  itemsToDo_ = toDo;
  itemsRunning_ = toDo > 0;
  if (!itemsRunning_) return;
  Quietly([&] { ShowLine(sink); });
}

void TProgress::EndItems(TProgressSink& sink) noexcept {
  if (!itemsRunning_) return;
  itemsRunning_ = false;
  Quietly([&] { sink.ShowProgressLine(""); });
}

void TProgress::UpdateProgress(std::int32_t n, TProgressSink& sink) noexcept {
  if (total_ == 0) return;
  ++done_;
  // The tick reports nothing to its caller.
  Quietly([&] {
    if (itemsRunning_ && std::chrono::steady_clock::now() - shownAt_ >= kLineInterval) ShowLine(sink);
  });
  if (done_ % n != 0) return;
  Quietly([&] { sink.ProcessMessages(); });
}

}  // namespace velquin

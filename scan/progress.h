// TProgress: the counters of the running command (scan, purge, match pass), the progress tick
// (UpdateProgress) that counts its ticks and lets messages run, and the progress line for the
// window's status line and velquin-cli's terminal.
//
// Two kinds of counts: the tick's (Done, Total), which pace the message runs and count two or three
// ticks for one picture, and the items the user counts (pictures of the scan, Sigs rows of the match
// pass), which alone make the progress line.
//
// The command that runs works on its TProgress; the window and everyone else read it through a const
// reference. The counters outlive a command: the purge that opens a scan ticks against the total the
// previous command left.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace velquin {

class TTable;

// Where the tick shows its line and lets messages run.
class TProgressSink {
 public:
  virtual ~TProgressSink() = default;
  // Hands a composed progress line to whatever shows it; an empty line takes it away.
  virtual void ShowProgressLine(const std::string& line) = 0;
  // Lets pending window messages run; any handler of the window may run inside.
  virtual void ProcessMessages() = 0;
};

class TProgress {
 public:
  // Items done (FDone) and expected (FTotal) in the current phase.
  std::int64_t Done() const { return done_; }
  std::int64_t Total() const { return total_; }
  // Date-times of the current phase, FStartTime and FEndTime (days since 30 December 1899, local time).
  double StartTime() const { return startTime_; }
  double EndTime() const { return endTime_; }
  // Sigs rows added (FAdds) and edited (FEdits) by the current scan.
  std::int32_t Adds() const { return adds_; }
  std::int32_t Edits() const { return edits_; }
  // True while the match pass walks Sigs: the progress line then ends with the row count of Matches.
  bool MatchPassRunning() const { return matches_ != nullptr; }
  const TTable* MatchPassMatches() const { return matches_; }

  // For the running command.
  // Sets Adds, Edits, Total and Done to 0.
  void ResetCounts() {
    adds_ = edits_ = 0;
    total_ = done_ = 0;
  }
  void SetDone(std::int64_t done) { done_ = done; }
  void SetTotal(std::int64_t total) { total_ = total; }
  void CountTotal() { ++total_; }
  void CountAdd() { ++adds_; }
  void CountEdit() { ++edits_; }
  void SetStartTime(double now) { startTime_ = now; }
  void SetEndTime(double now) { endTime_ = now; }
  // matches while the match pass walks Sigs, nullptr when it ends.
  void SetMatchPass(const TTable* matches) { matches_ = matches; }

  // The items of the current phase: done, to do, and whether a phase counts them now.
  std::int64_t ItemsDone() const { return itemsDone_; }
  std::int64_t ItemsToDo() const { return itemsToDo_; }
  bool ItemsRunning() const { return itemsRunning_; }
  // Starts a phase of toDo items, counted from StartTime, and shows its first line at once. A phase
  // with nothing to do shows none.
  void BeginItems(std::int64_t toDo, TProgressSink& sink) noexcept;
  void CountItemDone() { ++itemsDone_; }
  // Ends the phase and takes its line away.
  void EndItems(TProgressSink& sink) noexcept;

  // The tick: counts one tick and, on every n-th, lets pending messages run. Nothing happens while
  // Total is 0. While a phase counts items the line is shown anew when it is a quarter of a second
  // old. REQUIRES: n >= 1. A failure while the line is shown or messages run is dropped.
  void UpdateProgress(std::int32_t n, TProgressSink& sink) noexcept;

 private:
  std::int64_t done_ = 0;
  std::int64_t total_ = 0;
  double startTime_ = 0;
  double endTime_ = 0;
  std::int32_t adds_ = 0;
  std::int32_t edits_ = 0;
  const TTable* matches_ = nullptr;
  std::int64_t itemsDone_ = 0;
  std::int64_t itemsToDo_ = 0;
  bool itemsRunning_ = false;
  // When the line was last handed on.
  std::chrono::steady_clock::time_point shownAt_{};

  void ShowLine(TProgressSink& sink);
};

// The progress line for ItemsDone, ItemsToDo, StartTime, Adds and Edits at date-time now: the items
// done out of those to do and the time since StartTime; once an item is done, the time to go and the
// rate in parentheses; then the adds and edits in brackets when there are any, or during the match
// pass the count of pairs found instead. progress_test.cpp shows whole lines.
std::string ComposeProgressLine(const TProgress& progress, double now);

}  // namespace velquin

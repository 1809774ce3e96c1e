#include "scan/progress.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/date_time.h"
#include "platform/text_utils.h"

namespace velquin {
namespace {

class TRecordingSink : public TProgressSink {
 public:
  void ShowProgressLine(const std::string& line) override {
    ++Lines;
    LastLine = line;
  }
  void ProcessMessages() override {
    ++MessageRuns;
    if (Fails) throw std::runtime_error("handler failed");
  }
  int Lines = 0;
  std::string LastLine;
  int MessageRuns = 0;
  bool Fails = false;
};

TEST(ProgressTest, TickRunsMessagesOnEveryNthTick) {
  struct TCase {
    std::int64_t total;
    std::int32_t n;
    int ticks;
    std::int64_t done;
    int messageRuns;
  };
  for (const TCase c : {TCase{0, 1000, 1000, 0, 0}, TCase{5, 1000, 999, 999, 0},
                        TCase{5, 1000, 1000, 1000, 1}, TCase{5, 1, 7, 7, 7}}) {
    SCOPED_TRACE(std::to_string(c.total) + " " + std::to_string(c.n) + " " + std::to_string(c.ticks));
    TProgress progress;
    TRecordingSink sink;
    progress.SetTotal(c.total);
    for (int i = 0; i < c.ticks; ++i) progress.UpdateProgress(c.n, sink);
    EXPECT_EQ(progress.Done(), c.done);
    EXPECT_EQ(sink.MessageRuns, c.messageRuns);
    // Ticks alone count no items: no line.
    EXPECT_EQ(sink.Lines, 0);
  }
}

// The line counts items, not ticks: shown when the phase begins, anew at most every quarter of a
// second as ticks come, and taken away when it ends.
TEST(ProgressTest, LineFollowsTheItemsOfAPhase) {
  TProgress progress;
  TRecordingSink sink;
  progress.SetTotal(10);
  progress.SetStartTime(Now());
  progress.BeginItems(4, sink);
  EXPECT_TRUE(progress.ItemsRunning());
  EXPECT_EQ(sink.Lines, 1);
  EXPECT_TRUE(sink.LastLine.starts_with("0 out of 4 in ")) << sink.LastLine;
  EXPECT_EQ(sink.LastLine.find('('), std::string::npos) << "no rate before the first item";
  // Three ticks for one picture: still one item.
  for (int i = 0; i < 3; ++i) progress.UpdateProgress(1000, sink);
  progress.CountItemDone();
  EXPECT_EQ(sink.Lines, 1) << "a quick run of ticks shows no new line";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  progress.UpdateProgress(1000, sink);
  EXPECT_EQ(sink.Lines, 2);
  EXPECT_TRUE(sink.LastLine.starts_with("1 out of 4 in ")) << sink.LastLine;
  EXPECT_NE(sink.LastLine.find(" to go, "), std::string::npos) << sink.LastLine;
  progress.EndItems(sink);
  EXPECT_FALSE(progress.ItemsRunning());
  EXPECT_EQ(sink.Lines, 3);
  EXPECT_EQ(sink.LastLine, "");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  progress.UpdateProgress(1000, sink);
  EXPECT_EQ(sink.Lines, 3) << "no line after the phase";
  // A phase with nothing to do shows nothing.
  progress.BeginItems(0, sink);
  EXPECT_FALSE(progress.ItemsRunning());
  progress.EndItems(sink);
  EXPECT_EQ(sink.Lines, 3);
}

TEST(ProgressTest, TickDropsTheFailureOfAHandler) {
  TProgress progress;
  TRecordingSink sink;
  sink.Fails = true;
  progress.SetTotal(3);
  progress.UpdateProgress(1, sink);
  progress.UpdateProgress(1, sink);
  EXPECT_EQ(progress.Done(), 2);
  EXPECT_EQ(sink.MessageRuns, 2);
}

void CountItems(TProgress& progress, std::int64_t toDo, int done) {
  TRecordingSink sink;
  progress.BeginItems(toDo, sink);
  for (int i = 0; i < done; ++i) progress.CountItemDone();
}

TEST(ProgressTest, ProgressLine) {
  TProgress progress;
  progress.SetStartTime(1000.0);
  CountItems(progress, 5000, 1000);
  const double tenSeconds = 10.0 / 86400;
  // 100 per second, 4000 to go: 40 seconds.
  EXPECT_EQ(ComposeProgressLine(progress, 1000.0 + tenSeconds),
            "1,000 out of 5,000 in " + TimeOfDayText(tenSeconds) + " (0:0:40 to go, 100 per second)");
  for (int i = 0; i < 1234; ++i) progress.CountAdd();
  EXPECT_EQ(ComposeProgressLine(progress, 1000.0 + 1000 * tenSeconds),
            "1,000 out of 5,000 in " + TimeOfDayText(1000 * tenSeconds) + " (11:6:40 to go, " +
                FormatFixed2(0.1) + " per second) [1,234 adds, 0 edits]");
  CountItems(progress, 1, 1);
  EXPECT_EQ(
      ComposeProgressLine(progress, 1000.0 + tenSeconds),
      "1 in " + TimeOfDayText(tenSeconds) + " (" + FormatFixed2(0.1) + " per second) [1,234 adds, 0 edits]");
  // Before the first item is done there is no rate to tell.
  CountItems(progress, 5000, 0);
  EXPECT_EQ(ComposeProgressLine(progress, 1000.0 + tenSeconds),
            "0 out of 5,000 in " + TimeOfDayText(tenSeconds) + " [1,234 adds, 0 edits]");
  // Days to go lead the time when there are any.
  progress.ResetCounts();
  CountItems(progress, 200000, 1);
  EXPECT_EQ(ComposeProgressLine(progress, 1000.0 + tenSeconds),
            "1 out of 200,000 in " + TimeOfDayText(tenSeconds) + " (23 3:33:10 to go, " + FormatFixed2(0.1) +
                " per second)");
}

}  // namespace
}  // namespace velquin

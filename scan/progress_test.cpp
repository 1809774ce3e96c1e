#include "scan/progress.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

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
    // A line is shown at most ten times a second: the first of a quick run of ticks only.
    EXPECT_EQ(sink.Lines, c.messageRuns > 0 ? 1 : 0);
  }
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

TEST(ProgressTest, ProgressLine) {
  TProgress progress;
  progress.SetStartTime(1000.0);
  progress.SetTotal(5000);
  progress.SetDone(1000);
  const double tenSeconds = 10.0 / 86400;
  // 100 per second, 4000 to go: 40 seconds.
  EXPECT_EQ(ComposeProgressLine(progress, 1000.0 + tenSeconds),
            "1,000 out of 5,000 in " + TimeOfDayText(tenSeconds) + " (0:0:40 to go, 100 per second)");
  for (int i = 0; i < 1234; ++i) progress.CountAdd();
  EXPECT_EQ(ComposeProgressLine(progress, 1000.0 + 1000 * tenSeconds),
            "1,000 out of 5,000 in " + TimeOfDayText(1000 * tenSeconds) + " (11:6:40 to go, " +
                FormatFixed2(0.1) + " per second) [1,234 adds, 0 edits]");
  progress.SetTotal(1);
  progress.SetDone(1);
  EXPECT_EQ(ComposeProgressLine(progress, 1000.0),
            "1 in " + TimeOfDayText(0) + " (" + FormatFixed2(0) + " per second) [1,234 adds, 0 edits]");
  // Days to go lead the time when there are any.
  progress.ResetCounts();
  progress.SetTotal(200000);
  progress.SetDone(1);
  EXPECT_EQ(ComposeProgressLine(progress, 1000.0 + tenSeconds),
            "1 out of 200,000 in " + TimeOfDayText(tenSeconds) + " (23 3:33:10 to go, " + FormatFixed2(0.1) +
                " per second)");
}

}  // namespace
}  // namespace velquin

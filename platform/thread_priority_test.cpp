#include "platform/thread_priority.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace velquin {
namespace {

int NiceOfThisThread() { return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())); }

// Only the thread that asks runs lower; the thread that started it keeps its priority.
TEST(ThreadPriorityTest, OnlyTheCallingThreadRunsLower) {
  const int before = NiceOfThisThread();
  int inside = 0;
  std::thread([&] {
    RunThisThreadInBackground();
    inside = NiceOfThisThread();
  }).join();
  EXPECT_EQ(inside, std::min(before + kBackgroundNiceSteps, 19));
  EXPECT_EQ(NiceOfThisThread(), before);
}

}  // namespace
}  // namespace velquin

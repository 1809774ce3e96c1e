// The scope guard: its cleanup runs once on every way out, never masks the failure that ends the
// scope, and Run() lets a failure of the normal way out pass on.
#include "platform/scope_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace velquin {
namespace {

TEST(ScopeGuardTest, CleanupRunsOnceOnEveryWayOut) {
  int runs = 0;
  {
    const TScopeGuard guard([&runs] { ++runs; });
  }
  EXPECT_EQ(runs, 1);
  try {
    const TScopeGuard guard([&runs] { ++runs; });
    throw std::runtime_error("body");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(runs, 2);
  {
    TScopeGuard guard([&runs] { ++runs; });
    guard.Run();
  }
  EXPECT_EQ(runs, 3);
}

TEST(ScopeGuardTest, AFailingCleanupNeverMasksTheScopesFailure) {
  try {
    const TScopeGuard guard([] { throw std::runtime_error("cleanup"); });
    throw std::runtime_error("body");
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "body");
  }
  // On the normal way out the failure is dropped too: a destructor must not throw.
  EXPECT_NO_THROW({ const TScopeGuard guard([] { throw std::runtime_error("cleanup"); }); });
}

TEST(ScopeGuardTest, RunLetsTheCleanupsFailurePassOnAndDoesNotRunItAgain) {
  int runs = 0;
  try {
    TScopeGuard guard([&runs] {
      ++runs;
      throw std::runtime_error("cleanup");
    });
    guard.Run();
    ADD_FAILURE() << "Run() swallowed the failure";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "cleanup");
  }
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace velquin

#include "app/pair_preview.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace velquin {
namespace {

using TClock = std::chrono::steady_clock;

// Waits until done() holds, for a few seconds at most.
template <typename TDone>
bool WaitUntil(TDone done) {
  for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
}

// A decoder that makes a picture as wide as the file's name, fails on "bad", holds "a1" until
// released, and notes what it decoded and when.
class TFakeDecoder {
 public:
  TPairPreview::TDecode Decode() {
    return [this](const std::string& name, TBitmap32& target) {
      {
        std::unique_lock lock(mutex_);
        started_.push_back(name);
        startedAt_.push_back(TClock::now());
        if (name == "a1") released_.wait(lock, [this] { return releasedFlag_; });
      }
      if (name == "bad") throw std::runtime_error("bad picture");
      target.Resize(static_cast<std::int32_t>(name.size()), 1);
      const std::lock_guard lock(mutex_);
      endedAt_.push_back(TClock::now());
    };
  }
  void Release() {
    {
      const std::lock_guard lock(mutex_);
      releasedFlag_ = true;
    }
    released_.notify_all();
  }
  std::vector<std::string> Started() {
    const std::lock_guard lock(mutex_);
    return started_;
  }
  // From the end of the first pair to the start of the second.
  TClock::duration Rest() {
    const std::lock_guard lock(mutex_);
    return startedAt_.at(2) - endedAt_.at(1);
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool releasedFlag_ = false;
  std::vector<std::string> started_;
  std::vector<TClock::time_point> startedAt_;
  std::vector<TClock::time_point> endedAt_;
};

std::unique_ptr<TPairPreview::TDecodedPair> TakeWhenReady(TPairPreview& preview) {
  EXPECT_TRUE(WaitUntil([&] { return preview.Ready(); }));
  return preview.Take();
}

const TPairDisplay::TPair kA{"a1", "a2"};
const TPairDisplay::TPair kB{"b1", "b2"};
const TPairDisplay::TPair kC{"c1", "c22"};

// Pairs asked for while one is decoded: only the last of them is decoded next, after a rest.
TEST(PairPreviewTest, ThePairAskedForLastIsDecodedNextAfterARest) {
  TFakeDecoder decoder;
  TPairPreview preview(decoder.Decode());
  preview.Ask(kA);
  ASSERT_TRUE(WaitUntil([&] { return !decoder.Started().empty(); }));
  preview.Ask(kB);
  preview.Ask(kC);
  EXPECT_FALSE(preview.Ready());
  decoder.Release();
  const auto first = TakeWhenReady(preview);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Pair, kA);
  EXPECT_EQ(first->Failure, nullptr);
  const auto second = TakeWhenReady(preview);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Pair, kC);
  EXPECT_EQ(second->Left.Width(), 2);
  EXPECT_EQ(second->Right.Width(), 3);
  EXPECT_FALSE(preview.Ready());
  EXPECT_EQ(decoder.Started(), (std::vector<std::string>{"a1", "a2", "c1", "c22"}));
  EXPECT_GE(decoder.Rest(), TPairPreview::kMinRest);
}

// Cancel forgets the pair asked for and drops the one being decoded; a pair that fails to decode
// comes with its failure.
TEST(PairPreviewTest, CancelDropsWhatWasAskedForAndAFailureComesWithItsPair) {
  TFakeDecoder decoder;
  TPairPreview preview(decoder.Decode());
  preview.Ask(kA);
  ASSERT_TRUE(WaitUntil([&] { return !decoder.Started().empty(); }));
  preview.Ask(kB);
  preview.Cancel();
  decoder.Release();
  const TPairDisplay::TPair failing{"c1", "bad"};
  preview.Ask(failing);
  const auto decoded = TakeWhenReady(preview);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->Pair, failing);
  ASSERT_NE(decoded->Failure, nullptr);
  EXPECT_THROW(std::rethrow_exception(decoded->Failure), std::runtime_error);
  EXPECT_EQ(decoder.Started(), (std::vector<std::string>{"a1", "a2", "c1", "bad"}));
}

}  // namespace
}  // namespace velquin

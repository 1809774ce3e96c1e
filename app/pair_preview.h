// TPairPreview: the pair display's pictures decoded on a thread of its own while a command runs, so
// that the window's thread never waits for them. The command's own decoding keeps the cores: one pair
// is decoded at a time, and after each the thread rests kRestFactor times as long as the pair took,
// and at least kMinRest.
//
// A pair asked for while another is decoded waits until the rest after it is over, and gives way to
// any pair asked for later: the pair asked for last is the next one decoded. A decoded pair waits to
// be taken on the asker's thread, and gives way to the next one decoded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "imaging/bitmap32.h"
#include "matching/match_review.h"

namespace velquin {

class TPairPreview {
 public:
  // Loads one picture file into target, as the pair display does; runs on the preview's thread.
  using TDecode = std::function<void(const std::string& fileName, TBitmap32& target)>;

  struct TDecodedPair {
    TPairDisplay::TPair Pair;
    TBitmap32 Left;
    TBitmap32 Right;
    // What decoding either picture threw, or nullptr.
    std::exception_ptr Failure;
  };

  static constexpr std::chrono::milliseconds kMinRest{250};
  static constexpr int kRestFactor = 4;

  explicit TPairPreview(TDecode decode);
  // Waits for the pair being decoded, if any.
  ~TPairPreview();
  TPairPreview(const TPairPreview&) = delete;
  TPairPreview& operator=(const TPairPreview&) = delete;

  void Ask(TPairDisplay::TPair pair);
  // True when a decoded pair waits to be taken.
  bool Ready() const;
  // The decoded pair, or nullptr when none waits.
  std::unique_ptr<TDecodedPair> Take();
  // Forgets the pair asked for and the one decoded; a pair being decoded is dropped when done.
  void Cancel();

 private:
  void Work();

  const TDecode decode_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<TPairDisplay::TPair> asked_;
  std::unique_ptr<TDecodedPair> done_;
  // Raised by Cancel: a pair whose decoding began before is dropped.
  std::uint64_t generation_ = 0;
  std::chrono::steady_clock::time_point restUntil_{};
  bool stopping_ = false;
  // Started by the first Ask.
  std::thread thread_;
};

}  // namespace velquin

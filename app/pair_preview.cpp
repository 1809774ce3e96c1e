#include "app/pair_preview.h"

#include <algorithm>
#include <utility>

#include "platform/thread_priority.h"

namespace velquin {

TPairPreview::TPairPreview(TDecode decode) : decode_(std::move(decode)) {}

TPairPreview::~TPairPreview() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TPairPreview::Ask(TPairDisplay::TPair pair) {
  {
    const std::lock_guard lock(mutex_);
    asked_ = std::move(pair);
    if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
  }
  changed_.notify_all();
}

bool TPairPreview::Ready() const {
  const std::lock_guard lock(mutex_);
  return done_ != nullptr;
}

std::unique_ptr<TPairPreview::TDecodedPair> TPairPreview::Take() {
  const std::lock_guard lock(mutex_);
  return std::move(done_);
}

void TPairPreview::Cancel() {
  const std::lock_guard lock(mutex_);
  asked_.reset();
  done_.reset();
  ++generation_;
}

void TPairPreview::Work() {
  using TClock = std::chrono::steady_clock;
  // The pair display is the window's: its decoding gives way to the window's thread.
  RunThisThreadInBackground();
  std::unique_lock lock(mutex_);
  for (;;) {
    if (stopping_) return;
    if (!asked_) {
      changed_.wait(lock);
      continue;
    }
    if (TClock::now() < restUntil_) {
      changed_.wait_until(lock, restUntil_);
      continue;
    }
    auto decoded = std::make_unique<TDecodedPair>();
    decoded->Pair = std::move(*asked_);
    asked_.reset();
    const std::uint64_t generation = generation_;
    lock.unlock();
    const TClock::time_point start = TClock::now();
    try {
      decode_(decoded->Pair.File1, decoded->Left);
      decode_(decoded->Pair.File2, decoded->Right);
    } catch (...) {
      decoded->Failure = std::current_exception();
    }
    const TClock::time_point end = TClock::now();
    lock.lock();
    restUntil_ = end + std::max<TClock::duration>(kMinRest, (end - start) * kRestFactor);
    if (generation == generation_) done_ = std::move(decoded);
  }
}

}  // namespace velquin

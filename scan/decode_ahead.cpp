#include "scan/decode_ahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "imaging/errors.h"
#include "imaging/picture_loader.h"
#include "platform/scope_guard.h"
#include "signature/gray_grid.h"

namespace velquin {
namespace {

unsigned ThreadsFor(unsigned setting) {
  if (setting != 0) return setting;
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace

TDecodeAhead::TDecodeAhead(std::vector<std::string> plan, unsigned threads, bool normalize,
                           TMemoryBudget& budget)
    : plan_(std::move(plan)),
      normalize_(normalize),
      budget_(budget),
      // Decoding one picture at a time, the caller's thread may still share a normalisation with a
      // helper; with workers on every core a helper would only take turns with them.
      signer_(bitmap_, normalize, ThreadsFor(threads) == 1 && std::thread::hardware_concurrency() > 1),
      states_(plan_.size(), TState::kPlanned),
      done_(plan_.size()) {
  for (std::size_t i = 0; i < plan_.size(); ++i) planIndex_.emplace(plan_[i], i);
  const unsigned workers = ThreadsFor(threads) > 1 ? ThreadsFor(threads) : 0;
  if (plan_.empty()) return;
  try {
    for (unsigned i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // Fewer threads than asked for: those started decode ahead, the caller's thread does the rest.
  }
}

TDecodeAhead::~TDecodeAhead() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

std::unique_ptr<TDecodedPicture> TDecodeAhead::Decode(const std::string& path, TBitmap32& bitmap,
                                                      TPictureSigner& signer, TMemoryBudget& budget) {
  auto picture = std::make_unique<TDecodedPicture>();
  picture->HadBefore = FileStampAt(path, picture->Before);
  TMemoryShare share;
  try {
    signer.Reset();
    DecodePicture(path, bitmap, &picture->Opened,
                  [&](std::uint64_t bytes) { return budget.Take(bytes, share); });
    picture->Signature = signer.Sign();
    // The signer leaves the pixels as decoded, which is what the gray grid is made of.
    picture->Gray = GrayGridToText(signer.GrayGrid());
  } catch (...) {
    picture->Failure = std::current_exception();
    try {
      throw;
    } catch (const EOutOfResources&) {
      picture->OutOfMemory = true;
    } catch (...) {
    }
    // Stops the signer's helper, which may still read the rows drawn, before they are freed.
    signer.Reset();
  }
  // The pixels were only needed for signing; a failed picture leaves what it drew. The bitmap is
  // emptied for the next one, and the memory share goes back with the pixels.
  bitmap.ClearToEmpty();
  share.GiveBack();
  picture->HadAfter = FileStampAt(path, picture->After);
  return picture;
}

bool TDecodeAhead::StillCurrent(const TDecodedPicture& picture, const std::string& path) {
  TFileStamp now;
  if (!picture.HadBefore || !picture.HadAfter || picture.After != picture.Before) return false;
  if (!FileStampAt(path, now) || now != picture.Before) return false;
  // A decoded picture must come from that very file; a failure may have come before the file opened.
  return picture.Failure != nullptr || picture.Opened == picture.Before;
}

void TDecodeAhead::Work() {
  TBitmap32 bitmap;
  TPictureSigner signer(bitmap, normalize_, false);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || CanStart(); });
    if (stopping_) return;
    const std::size_t index = next_++;
    states_[index] = TState::kDecoding;
    ++inFlight_;
    lock.unlock();
    std::unique_ptr<TDecodedPicture> picture = Decode(plan_[index], bitmap, signer, budget_);
    lock.lock();
    --inFlight_;
    if (states_[index] == TState::kUnwanted) {
      // Passed over while it was decoded.
      picture.reset();
      states_[index] = TState::kGone;
    } else {
      states_[index] = TState::kDone;
      done_[index] = std::move(picture);
    }
    changed_.notify_all();
  }
}

bool TDecodeAhead::CanStart() {
  if (paused_) return false;
  while (next_ < plan_.size() && states_[next_] == TState::kGone) ++next_;
  return next_ < plan_.size() && next_ < cursor_ + kLookAhead;
}

void TDecodeAhead::PassOver(std::size_t index) {
  for (std::size_t i = cursor_; i < index; ++i) Drop(i);
}

void TDecodeAhead::Drop(std::size_t index) {
  switch (states_[index]) {
    case TState::kPlanned:
      states_[index] = TState::kGone;
      break;
    case TState::kDecoding:
      states_[index] = TState::kUnwanted;
      break;
    case TState::kDone:
      done_[index].reset();
      states_[index] = TState::kGone;
      break;
    case TState::kUnwanted:
    case TState::kGone:
      break;
  }
}

std::unique_ptr<TDecodedPicture> TDecodeAhead::WaitFor(std::size_t index, std::unique_lock<std::mutex>& lock,
                                                       const std::function<void()>& whileWaiting) {
  const auto done = [&] { return states_[index] == TState::kDone; };
  while (whileWaiting && !changed_.wait_for(lock, kWaitSlice, done)) {
    lock.unlock();
    try {
      whileWaiting();
    } catch (...) {
      lock.lock();
      Drop(index);
      changed_.notify_all();
      throw;
    }
    lock.lock();
  }
  changed_.wait(lock, done);
  states_[index] = TState::kGone;
  return std::move(done_[index]);
}

std::unique_ptr<TDecodedPicture> TDecodeAhead::Take(const std::string& path,
                                                    const std::function<void()>& whileWaiting) {
  std::unique_ptr<TDecodedPicture> picture;
  if (!workers_.empty()) {
    std::unique_lock lock(mutex_);
    const auto found = planIndex_.find(path);
    if (found != planIndex_.end() && found->second >= cursor_ && states_[found->second] != TState::kGone) {
      PassOver(found->second);
      cursor_ = found->second + 1;
      changed_.notify_all();
      picture = WaitFor(found->second, lock, whileWaiting);
      changed_.notify_all();
    }
  }
  if (picture == nullptr || !StillCurrent(*picture, path)) {
    picture.reset();
    picture = DecodeHere(path);
  }
  if (picture->OutOfMemory && !workers_.empty()) {
    picture.reset();
    picture = DecodeAlone(path);
  }
  return picture;
}

std::unique_ptr<TDecodedPicture> TDecodeAhead::DecodeHere(const std::string& path) {
  return Decode(path, bitmap_, signer_, budget_);
}

std::unique_ptr<TDecodedPicture> TDecodeAhead::DecodeAlone(const std::string& path) {
  {
    std::unique_lock lock(mutex_);
    paused_ = true;
    // What was decoded ahead holds no memory and stays; what is being decoded is waited for.
    changed_.wait(lock, [this] { return inFlight_ == 0; });
  }
  const TScopeGuard resume([this] {
    {
      const std::lock_guard lock(mutex_);
      paused_ = false;
    }
    changed_.notify_all();
  });
  return DecodeHere(path);
}

}  // namespace velquin

#include "imaging/bitmap32.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <utility>

#include "imaging/errors.h"
#include "platform/scope_guard.h"

namespace velquin {
namespace {
// Lock counters of all bitmaps change under one process-wide lock.
std::mutex& LockCounterMutex() {
  static std::mutex m;
  return m;
}

// A photo's pixels span thousands of 4 KB pages, each costing a fault when first written and a TLB
// entry when read again; in 2 MB pages they cost a few dozen. Where the system only gives those on
// request, ask for them over the whole 2 MB pages inside the block; a refusal changes nothing.
void AskForHugePages(void* block, std::size_t bytes) {
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto first = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kHugePage - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}
}  // namespace

TBitmap32::~TBitmap32() {
  StartUpdate();
  Lock();
  Resize(0, 0);
  Unlock();
}

void TBitmap32::ReleasePixels() {
  std::free(bits_);
  bits_ = nullptr;
  width_ = 0;
  height_ = 0;
}

bool TBitmap32::Resize(std::int32_t newWidth, std::int32_t newHeight) {
  return Reallocate(newWidth, newHeight, true);
}

bool TBitmap32::Reallocate(std::int32_t newWidth, std::int32_t newHeight, bool clear) {
  newWidth = std::max(newWidth, 0);
  newHeight = std::max(newHeight, 0);
  if (newWidth == width_ && newHeight == height_) return false;

  ReleasePixels();
  bool allocated = true;
  if (newWidth > 0 && newHeight > 0) {
    const auto count = static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight);
    // calloc: fresh memory reads 0x00000000, and large blocks come zeroed from the system for free.
    // Memory the heap reuses must be cleared by calloc, which the caller may spare.
    if (count <= std::numeric_limits<std::size_t>::max() / sizeof(TColor32))
      bits_ = static_cast<TColor32*>(clear ? std::calloc(count, sizeof(TColor32))
                                           : std::malloc(count * sizeof(TColor32)));
    allocated = bits_ != nullptr;
    if (allocated) AskForHugePages(bits_, count * sizeof(TColor32));
  }
  if (allocated) {
    width_ = newWidth;
    height_ = newHeight;
  }
  NotifyHandleChange();
  NotifyChange();
  NotifyResize();
  if (!allocated) throw EOutOfResources("Can't allocate the DIB handle");
  return true;
}

void TBitmap32::Exchange(TBitmap32& other) {
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(bits_, other.bits_);
  std::swap(rowsFired_, other.rowsFired_);
  for (TBitmap32* bitmap : {this, &other}) {
    bitmap->NotifyHandleChange();
    bitmap->NotifyChange();
    bitmap->NotifyResize();
  }
}

void TBitmap32::Fill(TColor32 color) {
  if (IsEmpty()) return;
  std::fill_n(bits_, static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), color);
  NotifyChange();
}

void TBitmap32::FillRect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor32 color) {
  if (x1 >= x2 || y1 >= y2) return;
  if (x1 >= width_ || y1 >= height_ || x2 <= 0 || y2 <= 0) return;
  x2 = std::min(x2, width_);
  y2 = std::min(y2, height_);
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  if (bits_ != nullptr) {
    for (std::int32_t y = y1; y < y2; ++y) std::fill(ScanLine(y) + x1, ScanLine(y) + x2, color);
  }
  NotifyChange();
}

void TBitmap32::MakeOpaque() {
  if (!IsEmpty()) {
    TColor32* p = bits_;
    TColor32* end = p + static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    for (; p != end; ++p) *p |= 0xFF000000u;
  }
  NotifyChange();
}

void TBitmap32::AssignPicture(const TGraphic& picture) {
  StartUpdate();
  bool uncleared = false;
  TScopeGuard end([&] {
    // After a failed draw, rows already handed out stay as they are: their readers may still be at
    // them.
    if (uncleared) std::fill(ScanLine(rowsFired_), ScanLine(height_), 0u);
    EndUpdate();
    NotifyChange();
  });
  const bool everyRow = picture.DrawsEveryRowInOrder();
  Reallocate(picture.Width(), picture.Height(), !everyRow);
  rowsFired_ = 0;
  if (!IsEmpty()) {
    uncleared = everyRow;
    picture.Draw(*this);
    uncleared = false;
    if (!everyRow) {
      if (!picture.KeepsAlpha()) MakeOpaque();
      for (std::int32_t y = 0; y < height_; ++y) NotifyRowDrawn(y);
    }
  }
  end.Run();
}

void TBitmap32::Lock() {
  lock_.lock();
  std::lock_guard<std::mutex> guard(LockCounterMutex());
  ++lockCount_;
}

void TBitmap32::Unlock() {
  {
    std::lock_guard<std::mutex> guard(LockCounterMutex());
    --lockCount_;
  }
  lock_.unlock();
}

std::int32_t TBitmap32::LockCount() const {
  std::lock_guard<std::mutex> guard(LockCounterMutex());
  return lockCount_;
}

void TBitmap32::NotifyChange() {
  if (updateCount_ == 0 && OnChange) OnChange(*this);
}

void TBitmap32::NotifyResize() {
  if (OnResize) OnResize(*this);
}

void TBitmap32::NotifyRowDrawn(std::int32_t y) noexcept {
  rowsFired_ = y + 1;
  if (OnRowDrawn) OnRowDrawn(*this, y);
}

void TBitmap32::NotifyHandleChange() {
  if (OnHandleChanged) OnHandleChanged(*this);
}

}  // namespace velquin

#include "signature/picture_signer.h"

#include <system_error>

namespace velquin {
namespace {

constexpr std::int32_t kAbandon = -1;
constexpr std::int32_t kNotYet = -2;
// The helper is woken once per this many rows: often enough that the rows are still in a shared cache
// when it counts them, seldom enough that waking it costs little.
constexpr std::int32_t kRowsPerWake = 16;

// Waits until value no longer holds unchanged; returns what it holds then.
std::int32_t WaitForChange(const std::atomic<std::int32_t>& value, std::int32_t unchanged) {
  std::int32_t now;
  while ((now = value.load(std::memory_order_acquire)) == unchanged)
    value.wait(unchanged, std::memory_order_acquire);
  return now;
}

}  // namespace

TPictureSigner::TPictureSigner(TBitmap32& bitmap, bool normalize, bool helperThread)
    : bitmap_(bitmap), normalize_(normalize), helperThread_(normalize && helperThread) {
  bitmap_.OnRowDrawn = [this](TBitmap32&, std::int32_t y) { RowDrawn(y); };
}

TPictureSigner::~TPictureSigner() {
  StopHelper();
  bitmap_.OnRowDrawn = nullptr;
}

void TPictureSigner::Reset() {
  StopHelper();
  rowsSeen_ = 0;
  if (!helperThread_) return;
  rowsDrawn_.store(0);
  rowsCounted_.store(0);
  firstHelperRow_.store(kNotYet);
  helperDone_.store(false);
  try {
    helper_ = std::thread([this] { Help(); });
  } catch (const std::system_error&) {
    // No thread to be had: this picture is signed on the caller's thread alone.
  }
}

void TPictureSigner::RowDrawn(std::int32_t y) noexcept {
  if (y != rowsSeen_) return;  // not in order: Sign starts from the whole bitmap
  ++rowsSeen_;
  const TColor32* row = bitmap_.ScanLine(y);
  if (y == 0) grayRows_.Start(bitmap_.Width(), bitmap_.Height());
  grayRows_.AddRow(y, row);
  if (!normalize_) {
    if (y == 0) rows_.Start(bitmap_.Width(), bitmap_.Height());
    rows_.AddRow(y, row);
  } else if (!helper_.joinable()) {
    if (y == 0) equalizer_.ClearHistogram();
    equalizer_.AddToHistogram(row, static_cast<std::size_t>(bitmap_.Width()));
  } else if (rowsSeen_ % kRowsPerWake == 0 || rowsSeen_ == bitmap_.Height()) {
    rowsDrawn_.store(rowsSeen_, std::memory_order_release);
    rowsDrawn_.notify_one();
  }
}

// The helper's whole life for one picture: count the rows as they are drawn, then rewrite and sum the
// rows it is given. It reads only rows that have been drawn, which nothing changes until the caller's
// thread has ended the helper (before the next load).
void TPictureSigner::Help() {
  // The size is read once rows arrive: the helper starts before the load sizes the bitmap.
  std::int32_t counted = 0;
  std::int32_t height = 0;
  do {
    const std::int32_t drawn = WaitForChange(rowsDrawn_, counted);
    if (drawn == kAbandon) return;
    if (counted == 0) {
      height = bitmap_.Height();
      equalizer_.ClearHistogram();
    }
    for (; counted < drawn; ++counted)
      equalizer_.AddToHistogram(bitmap_.ScanLine(counted), static_cast<std::size_t>(bitmap_.Width()));
    rowsCounted_.store(counted, std::memory_order_release);
    rowsCounted_.notify_one();
  } while (counted < height);
  const std::int32_t first = WaitForChange(firstHelperRow_, kNotYet);
  if (first == kAbandon) return;
  helperRows_.Start(bitmap_.Width(), height);
  equalizer_.AddEqualizedRows(bitmap_, first, height, helperRows_);
  helperDone_.store(true, std::memory_order_release);
  helperDone_.notify_one();
}

void TPictureSigner::StopHelper() {
  if (!helper_.joinable()) return;
  rowsDrawn_.store(kAbandon, std::memory_order_release);
  rowsDrawn_.notify_one();
  firstHelperRow_.store(kAbandon, std::memory_order_release);
  firstHelperRow_.notify_one();
  helper_.join();
}

TSignature TPictureSigner::Sign() {
  const std::int32_t height = bitmap_.Height();
  const bool complete = !bitmap_.IsEmpty() && rowsSeen_ == height;
  if (!normalize_) return complete ? rows_.Signature(bitmap_.OuterColor) : MakeSignature(bitmap_);
  if (!complete || !helper_.joinable()) {
    StopHelper();
    if (!complete) equalizer_.BuildHistogram(bitmap_);
    equalizer_.BuildBrightnessMap();
    return equalizer_.EqualizedSignature(bitmap_);
  }
  for (std::int32_t counted = 0; counted < height;) counted = WaitForChange(rowsCounted_, counted);
  equalizer_.BuildBrightnessMap();
  const std::int32_t half = height / 2;
  firstHelperRow_.store(half, std::memory_order_release);
  firstHelperRow_.notify_one();
  rows_.Start(bitmap_.Width(), height);
  equalizer_.AddEqualizedRows(bitmap_, 0, half, rows_);
  while (!helperDone_.load(std::memory_order_acquire)) helperDone_.wait(false, std::memory_order_acquire);
  helper_.join();
  rows_.Merge(helperRows_);
  return rows_.Signature(bitmap_.OuterColor);
}

TGrayGrid TPictureSigner::GrayGrid() const {
  const bool complete = !bitmap_.IsEmpty() && rowsSeen_ == bitmap_.Height();
  return complete ? grayRows_.Grid() : MakeGrayGrid(bitmap_);
}

}  // namespace velquin

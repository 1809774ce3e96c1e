// TPictureSigner: the signature and the gray grid of each picture loaded into one bitmap, gathered from
// the rows as the decoder draws them (TBitmap32::OnRowDrawn), while they are still in cache: the
// finished bitmap is read at most once more and never written.
//
// When normalising, the signature is the one after EqualizeBrightness, which needs the brightness
// histogram of every pixel before any pixel can be rewritten. With a helper thread, the helper counts
// each batch of rows as soon as the decoder has drawn it, and at the end rewrites and sums the lower
// half of the rows while the caller's thread does the upper half: a picture then costs little more time
// than its decoding. The helper is started for each picture and ends with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "imaging/bitmap32.h"
#include "signature/equalizer.h"
#include "signature/gray_grid.h"
#include "signature/signature.h"
#include "signature/signature_rows.h"

namespace velquin {

class TPictureSigner {
 public:
  // Signs what is loaded into bitmap from now on (takes over bitmap.OnRowDrawn). helperThread: whether
  // normalising may use a second thread, worth it on a machine with two cores or more.
  TPictureSigner(TBitmap32& bitmap, bool normalize, bool helperThread);
  ~TPictureSigner();
  TPictureSigner(const TPictureSigner&) = delete;
  TPictureSigner& operator=(const TPictureSigner&) = delete;

  // Call before each load. From then until Sign, the brightness histogram may be counted on the helper
  // thread.
  void Reset();
  // After a load, failed or not: MakeSignature of what the bitmap holds, or when normalising the
  // signature EqualizeAndMakeSignature would return for it. The bitmap is left as it is.
  TSignature Sign();
  // After a load, failed or not: MakeGrayGrid of what the bitmap holds.
  TGrayGrid GrayGrid() const;

 private:
  void RowDrawn(std::int32_t y) noexcept;
  void Help();
  void StopHelper();

  TBitmap32& bitmap_;
  const bool normalize_;
  const bool helperThread_;
  std::int32_t rowsSeen_ = 0;  // rows 0 .. rowsSeen_ - 1 were drawn in order
  TSignatureRows rows_;
  TGrayGridRows grayRows_;
  // Shared with the helper: it counts the histogram while the caller's thread waits, and both threads
  // then read the map, each rewriting its own rows.
  TEqualizer equalizer_;

  // The helper and what it shares with the caller's thread. Each atomic has one writer, and a reader
  // that waits for it to change.
  std::thread helper_;
  std::atomic<std::int32_t> rowsDrawn_{0};       // rows the helper may count, or kAbandon
  std::atomic<std::int32_t> rowsCounted_{0};     // rows the helper has counted
  std::atomic<std::int32_t> firstHelperRow_{0};  // kNotYet, kAbandon, or the first row to rewrite
  std::atomic<bool> helperDone_{false};          // the helper's rows are in helperRows_
  TSignatureRows helperRows_;
};

}  // namespace velquin

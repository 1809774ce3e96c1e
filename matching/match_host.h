// TMatchHost: the main form as the match pass and the match review see it: the scan's view of the
// form plus the pair display and the review buttons. The form implements it; the matching library
// never reaches the form otherwise.
#pragma once

#include <cstddef>
#include <string>

#include "signature/scan_host.h"

namespace velquin {

enum class TReviewLabel { lFile1, lFile2, lComp };

class TMatchHost : public TScanHost {
 public:
  // Deletes the log pane's first lines while it holds more than maxLines.
  virtual void LimitLogLines(std::size_t maxLines) = 0;
  virtual void SetReviewButtonsEnabled(bool enabled) = 0;
  virtual void SetReviewLabel(TReviewLabel label, const std::string& text) = 0;
  // The working bitmaps of the left (Im1) and right (Im2) picture views.
  virtual TBitmap32& PairBitmap(bool left) = 0;
};

}  // namespace velquin

// TMatchHost: the main form as the match pass and the match review see it: the tables, the controls
// they read and change, the pair display and the review buttons. The form implements it; the
// matching library never reaches the form otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "matching/match_rules.h"
#include "scan/progress.h"

namespace velquin {

class TBitmap32;
class TDesktop;
class TTable;

enum class TReviewLabel { lFile1, lFile2, lComp };

class TMatchHost : public TProgressSink {
 public:
  virtual TDesktop& Desktop() = 0;
  virtual TTable& Sigs() = 0;
  virtual TTable& Matches() = 0;
  // The counters of the running command, which the match pass counts in.
  virtual TProgress& RunningProgress() = 0;

  // Control state the pass reads.
  virtual std::string MarginText() const = 0;  // MarginEdit
  virtual bool ColorsChecked() const = 0;
  // The tables cover the folders below the Folder too: two names of one file are then never paired.
  virtual bool SubfoldersChecked() const = 0;
  // The tests besides the plain comparison: Turned and Gray.
  virtual TMatchTests MatchTestsChecked() const = 0;

  // Control changes the pass and the review make.
  virtual void SetTitle(const std::string& caption) = 0;  // lTitle
  virtual void AppendLogLine(std::string line) = 0;       // Memo1, at the end
  virtual void UpdateDBLabels() = 0;
  // Deletes the log pane's first lines while it holds more than maxLines.
  virtual void LimitLogLines(std::size_t maxLines) = 0;
  virtual void SetReviewButtonsEnabled(bool enabled) = 0;
  virtual void SetReviewLabel(TReviewLabel label, const std::string& text) = 0;
  // The working bitmaps of the left (Im1) and right (Im2) picture views.
  virtual TBitmap32& PairBitmap(bool left) = 0;
  // The pair display has found the pair to show: its pictures wait for TPairDisplay::
  // ShowPendingPictures, which the host runs at once, when they are seen, or never.
  virtual void PairPicturesPending() = 0;
  // Loads a picture file into target for the pair display (LoadPicture, imaging/picture_loader.h),
  // letting messages run first. Throws what decoding throws.
  virtual void LoadPicture(const std::string& fileName, TBitmap32& target) = 0;
};

}  // namespace velquin

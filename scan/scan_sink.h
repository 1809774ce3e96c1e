// TScanSink: what the folder scan tells the one who runs it. The scan knows no window: the form
// implements this for its controls, a test for what it records.
#pragma once

#include <string>

#include "scan/progress.h"

namespace velquin {

class TScanSink : public TProgressSink {
 public:
  virtual void SetTitle(const std::string& caption) = 0;
  // Log lines: at the end, or as the first line.
  virtual void AppendLogLine(std::string line) = 0;
  virtual void InsertFirstLogLine(const std::string& line) = 0;
  // Sigs gained a row, or the scan ended: the count labels are due.
  virtual void UpdateDBLabels() = 0;
  // The incremental match of the Sigs table's current row, just added or changed. Throws.
  virtual void FindMatchesFor() = 0;
};

}  // namespace velquin

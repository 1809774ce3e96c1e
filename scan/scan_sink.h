// TScanSink: what the folder scan tells the one who runs it. The scan knows no window: the form
// implements this for its controls, a test for what it records.
#pragma once

#include <string>
#include <string_view>

#include "scan/progress.h"

namespace velquin {

// The log pane's line for a picture the scan could not process: `Unable to process "<path>"`.
inline std::string UnableToProcessLine(std::string_view path) {
  return "Unable to process \"" + std::string(path) + "\"";
}

// The same with its reason, as lists of problems show it (the window's, velquin-cli's stderr):
// `Unable to process "<path>": <reason>`.
inline std::string UnableToProcessLine(std::string_view path, std::string_view reason) {
  return UnableToProcessLine(path) + ": " + std::string(reason);
}

class TScanSink : public TProgressSink {
 public:
  virtual void SetTitle(const std::string& caption) = 0;
  virtual void AppendLogLine(std::string line) = 0;
  // The picture at `path` was not processed (it keeps its old row, or none), for `reason`: a
  // decoder's or the system's message, or the scan's own.
  virtual void UnableToProcess(const std::string& path, const std::string& reason) = 0;
  // Sigs gained a row, or the scan ended: the count labels are due.
  virtual void UpdateDBLabels() = 0;
  // The incremental match of the Sigs table's current row, just added or changed. Throws.
  virtual void FindMatchesFor() = 0;
};

}  // namespace velquin

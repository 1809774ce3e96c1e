// TScanHost: the main form as the folder scan and the progress tick see it.
//
// Libraries stay acyclic (tablestore, imaging, platform <- signature <- matching <- app): the scan
// cannot call the form, so the form implements this interface and hands itself to the scan. The
// shared fields live here as plain data; the form inherits them and they are its own fields.
// Every virtual is a step on a control or a service of the form; none of them may throw unless it
// says so.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace velquin {

class TBitmap32;
struct TFileStamp;
class TDesktop;
class TTable;

class TScanHost {
 public:
  virtual ~TScanHost() = default;

  // AppDir, ending in '/'.
  std::string FAppDir;
  // The Margin, set from the Margin text by each caller before a search.
  std::int32_t FMargin = 0;
  // True while the Auto command runs one folder: no closing dialogs.
  bool FAutoRun = false;
  // Date-times of the current phase (days since 30 December 1899, local time).
  double FStartTime = 0;
  double FEndTime = 0;
  // Items done and expected in the current phase.
  std::int64_t FDone = 0;
  std::int64_t FTotal = 0;
  // Sigs rows added and edited by the current scan.
  std::int32_t FAdds = 0;
  std::int32_t FEdits = 0;
  // True while the match pass walks Sigs: the progress line then ends with the Matches count.
  bool FMatchPassRunning = false;
  // Counts the times pending messages ran (ProcessMessages adds 1): while it stands still, no other
  // handler can have touched the tables.
  std::uint64_t FMessageRuns = 0;
  // When the progress tick last handed a progress line on (it does so at most ten times a second).
  std::chrono::steady_clock::time_point FProgressShownAt{};

  virtual TDesktop& Desktop() = 0;
  virtual TTable& Sigs() = 0;
  virtual TTable& Matches() = 0;

  // Control state the scan reads.
  virtual std::string FolderText() const = 0;  // DirEdit
  virtual std::string MarginText() const = 0;  // MarginEdit
  virtual bool ForceChecked() const = 0;
  virtual bool NormalizeChecked() const = 0;
  virtual bool IncrMatchChecked() const = 0;
  virtual bool ColorsChecked() const = 0;

  // Control changes the scan makes.
  virtual void SetTitle(const std::string& caption) = 0;         // lTitle
  virtual void AppendLogLine(std::string line) = 0;              // Memo1, at the end
  virtual void InsertFirstLogLine(const std::string& line) = 0;  // Memo1, as the first line
  virtual void UpdateDBLabels() = 0;
  // Hands a composed progress line to whatever shows it.
  virtual void ShowProgressLine(const std::string& line) = 0;

  // Lets pending window messages run; any handler of the form may run inside.
  virtual void ProcessMessages() = 0;

  // The hidden view's working bitmap, into which the scan loads each picture.
  virtual TBitmap32& WorkingBitmap() = 0;
  // Loads a picture file into target, or in counting mode only counts it in FTotal. Returns true iff
  // a picture was decoded, and then fills `opened`, when given, with the stamp of the file as opened
  // for decoding. Throws what decoding throws.
  virtual bool LoadPicture(const std::string& fileName, bool counting, bool showProgress, TBitmap32& target,
                           TFileStamp* opened = nullptr) = 0;
  // The candidate search for the Sigs table's current row (incremental match). Throws.
  virtual void FindMatchesFor() = 0;
};

}  // namespace velquin

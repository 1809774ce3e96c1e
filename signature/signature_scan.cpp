#include "signature/signature_scan.h"

#include <cmath>
#include <exception>

#include "platform/date_time.h"
#include "platform/desktop.h"
#include "platform/file_utils.h"
#include "platform/text_file.h"
#include "platform/text_utils.h"
#include "signature/convert.h"
#include "signature/folder_matches.h"
#include "signature/picture_extension.h"
#include "signature/progress.h"
#include "signature/scan_host.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr std::int32_t kTickModulus = 1000;
// A picture that keeps changing while it is decoded is given up after this many decodes.
constexpr int kMaxDecodes = 3;

// Returns true iff the two date-times render to the same date-and-time text. Equal milliseconds are
// decided without rendering: the rendering goes through whole milliseconds.
bool SameDateText(double a, double b) {
  if (std::nearbyint(a * 86400000.0) == std::nearbyint(b * 86400000.0)) return true;
  return DateTimeToText(a) == DateTimeToText(b);
}

// Restores the normal cursor on every way out.
class TCursorGuard {
 public:
  explicit TCursorGuard(TDesktop& desktop) : desktop_(desktop) {}
  ~TCursorGuard() { desktop_.SetCursor(TCursor::crDefault); }
  TCursorGuard(const TCursorGuard&) = delete;
  TCursorGuard& operator=(const TCursorGuard&) = delete;

 private:
  TDesktop& desktop_;
};

}  // namespace

TSignatureScan::TSignatureScan(TScanHost& host) : host_(host) {}

TSignatureScan::~TSignatureScan() = default;

void TSignatureScan::ComputeSignatures() {
  std::exception_ptr failure;
  try {
    PurgeDeletedFiles();
    host_.Desktop().SetCursor(TCursor::crHourGlass);
    host_.SetTitle("Counting Files...");
    host_.FEdits = 0;
    host_.FAdds = 0;
    host_.FTotal = 0;
    host_.FDone = 0;
    counting_ = true;
    ReadDates();
    ScanFolder(host_.FolderText());
    host_.FStartTime = Now();
    counting_ = false;
    host_.SetTitle("Evaluating Signatures...");
    log_ = std::make_unique<TTextWriter>(host_.FAppDir + "log.txt");
    ReadDates();
    ScanFolder(host_.FolderText());
    log_->Close();
  } catch (...) {
    failure = std::current_exception();
  }
  // log.txt is released on a failure too, so the next scan can create it again.
  log_.reset();
  host_.SetTitle("");
  host_.Desktop().SetCursor(TCursor::crDefault);
  host_.FEndTime = Now();
  if (!host_.FAutoRun) {
    host_.Desktop().ShowMessage(std::to_string(host_.FAdds) + " records added; " +
                                std::to_string(host_.FEdits) + " records edited in " +
                                ElapsedText(host_.FEndTime - host_.FStartTime));
  }
  host_.UpdateDBLabels();
  if (failure) std::rethrow_exception(failure);
}

void TSignatureScan::PurgeDeletedFiles() {
  host_.Desktop().SetCursor(TCursor::crHourGlass);
  TCursorGuard cursor(host_.Desktop());
  host_.FStartTime = Now();
  host_.SetTitle("Removing Signature records for deleted files...");
  TTable& sigs = host_.Sigs();
  dates_.clear();
  datesMessageRuns_ = host_.FMessageRuns;
  datesFolder_ = DatesFolder();
  sigs.First();
  std::string file;
  while (!sigs.Eof()) {
    const std::string_view path = sigs.FieldText("FilePath");
    const std::string_view name = sigs.FieldText("FileName");
    file.assign(path).append(name);
    // Rows of another folder came with tables copied from there: they describe none of this
    // Folder's files.
    if (path == datesFolder_ && FileExists(file)) {
      dates_.emplace(name, sigs.FieldAsDateTime("FileDate"));
      sigs.Next();
    } else {
      sigs.Delete();
    }
    UpdateProgress(host_, kTickModulus);
  }
  RemoveMatchesOutsideFolder(host_.Matches(), datesFolder_);
  datesValid_ = host_.FMessageRuns == datesMessageRuns_;
}

std::string TSignatureScan::DatesFolder() const {
  std::string folder = host_.FolderText();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

void TSignatureScan::ReadDates() {
  if (datesValid_ && host_.FMessageRuns == datesMessageRuns_) return;
  TTable& sigs = host_.Sigs();
  dates_.clear();
  datesMessageRuns_ = host_.FMessageRuns;
  datesFolder_ = DatesFolder();
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    if (sigs.FieldText("FilePath") == datesFolder_) {
      dates_.emplace(sigs.FieldText("FileName"), sigs.FieldAsDateTime("FileDate"));
    }
  }
  datesValid_ = true;
}

void TSignatureScan::ScanFolder(std::string folder) {
  // A blank Folder is refused before the scan starts; an empty text would otherwise name the root.
  if (folder.empty()) return;
  if (folder.back() != '/') folder += '/';
  if (!counting_) {
    log_->WriteLine(folder);
    host_.AppendLogLine(folder);
  }
  ForEachFolderEntry(folder, [&](const std::string& name, bool) {
    if (IsPictureName(name)) EvaluateFile(folder + name);
  });
}

bool TSignatureScan::FindRow(const std::string& name, const std::string& folder) {
  TTable& sigs = host_.Sigs();
  sigs.SetKey();
  sigs.SetFieldValue("FileName", name);
  sigs.SetFieldValue("FilePath", folder);
  return sigs.GotoKey();
}

bool TSignatureScan::StoredDate(std::string_view name, std::string_view folder, double& date) {
  if (datesValid_ && host_.FMessageRuns == datesMessageRuns_ && folder == datesFolder_) {
    const auto found = dates_.find(name);
    if (found == dates_.end()) return false;
    date = found->second;
    return true;
  }
  datesValid_ = false;
  if (!FindRow(std::string(name), std::string(folder))) return false;
  date = host_.Sigs().FieldAsDateTime("FileDate");
  return true;
}

TSignatureScan::TLoadOutcome TSignatureScan::LoadUnchangedPicture(const std::string& path, TBitmap32& bitmap,
                                                                  TFileStamp& opened) {
  for (int decode = 1; decode <= kMaxDecodes; ++decode) {
    TFileStamp before;
    const bool existed = counting_ || FileStampAt(path, before);
    // One picture is one progress tick, however often it is decoded.
    if (!host_.LoadPicture(path, counting_, decode == 1, bitmap, &opened)) return TLoadOutcome::kNothing;
    TFileStamp after;
    if (existed && before == opened && FileStampAt(path, after) && after == opened) {
      return TLoadOutcome::kLoaded;
    }
  }
  return TLoadOutcome::kKeptChanging;
}

void TSignatureScan::EvaluateFile(const std::string& path) {
  const std::string_view folderPart = FolderOfPath(path);
  const std::string_view namePart = NameOfPath(path);
  TTable& sigs = host_.Sigs();
  // The tables keep names and paths whole, up to their fields' sizes (tables made by an earlier
  // version hold less); a longer one has no row to look up and could never be a pair's file.
  const bool keyFits = namePart.size() <= static_cast<std::size_t>(sigs.FieldSize("FileName")) &&
                       folderPart.size() <= static_cast<std::size_t>(sigs.FieldSize("FilePath")) &&
                       path.size() <= static_cast<std::size_t>(host_.Matches().FieldSize("File1"));

  double stored = 0;
  if (keyFits && !host_.ForceChecked() && StoredDate(namePart, folderPart, stored) &&
      SameDateText(stored, GetFileDate(path))) {
    if (!counting_) UpdateProgress(host_, kTickModulus);
    return;
  }
  const std::string folder(folderPart);
  const std::string name(namePart);

  host_.ProcessMessages();
  host_.AppendLogLine(name);
  const std::string unable = "Unable to process \"" + path + "\"";
  if (!keyFits) {
    if (!counting_) host_.InsertFirstLogLine(unable);
    return;
  }
  TBitmap32& bitmap = host_.WorkingBitmap();
  TFileStamp opened;
  TLoadOutcome outcome = TLoadOutcome::kNothing;
  try {
    outcome = LoadUnchangedPicture(path, bitmap, opened);
  } catch (const std::exception&) {
    host_.InsertFirstLogLine(unable);
    return;
  }
  if (outcome == TLoadOutcome::kKeptChanging) {
    host_.InsertFirstLogLine(unable);
    return;
  }
  if (outcome == TLoadOutcome::kNothing) return;

  signature_ = host_.NormalizeChecked() ? equalizer_.EqualizeAndMakeSignature(bitmap) : MakeSignature(bitmap);
  const std::string text = SignatureToText(signature_);
  // The date of the very file that was decoded: a later write is seen by the next scan.
  const double date = StampDate(opened);

  if (FindRow(name, folder)) {
    changed_ = sigs.FieldAsString("Signature") != text;
    if (changed_) {
      ++host_.FEdits;
      sigs.Edit();
      sigs.SetFieldValue("FileDate", date);
      sigs.SetFieldValue("Signature", text);
      sigs.Post();
    } else if (!SameDateText(sigs.FieldAsDateTime("FileDate"), date)) {
      // Same pixels under a new date: storing the date spares the next scan from decoding it again.
      sigs.Edit();
      sigs.SetFieldValue("FileDate", date);
      sigs.Post();
    }
  } else {
    ++host_.FAdds;
    sigs.Append();
    sigs.SetFieldValue("FileName", name);
    sigs.SetFieldValue("FilePath", folder);
    sigs.SetFieldValue("FileDate", date);
    sigs.SetFieldValue("Signature", text);
    changed_ = true;
    sigs.Post();
    // After the post, so that the count shown includes the new row.
    host_.UpdateDBLabels();
  }

  if (!counting_) UpdateProgress(host_, kTickModulus);

  if (changed_ && host_.IncrMatchChecked()) {
    const TCursor saved = host_.Desktop().Cursor();
    host_.Desktop().SetCursor(TCursor::crHourGlass);
    host_.FMargin = StrToInt(host_.MarginText());
    host_.FindMatchesFor();
    host_.Desktop().SetCursor(saved);
  }
}

}  // namespace velquin

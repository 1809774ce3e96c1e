#include "scan/signature_scan.h"

#include <cmath>

#include "imaging/bitmap32.h"
#include "imaging/picture_loader.h"
#include "platform/date_time.h"
#include "platform/desktop.h"
#include "platform/file_utils.h"
#include "platform/scope_guard.h"
#include "platform/text_file.h"
#include "platform/text_utils.h"
#include "scan/decode_ahead.h"
#include "scan/folder_matches.h"
#include "scan/folder_walk.h"
#include "scan/picture_extension.h"
#include "scan/scan_sink.h"
#include "signature/gray_grid.h"
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

// Returns true iff the current Sigs row holds a Gray text: a row stored before grids were kept has
// none and is signed again, whatever its date.
bool HasGrayGrid(const TTable& sigs) {
  TGrayGrid grid;
  return ReadGrayText(sigs.FieldText("Gray"), grid);
}

}  // namespace

TSignatureScan::TSignatureScan(const TScanOptions& options, const TScanTargets& tables, TDesktop& desktop,
                               TProgress& progress, TScanSink& sink)
    : options_(options),
      sigs_(tables.Sigs),
      matches_(tables.Matches),
      desktop_(desktop),
      progress_(progress),
      sink_(sink),
      memory_(options.Decoding.MemoryLeft) {}

TSignatureScan::~TSignatureScan() = default;

void TSignatureScan::ShowProgressLine(const std::string& line) { sink_.ShowProgressLine(line); }

void TSignatureScan::ProcessMessages() {
  ++messageRuns_;
  sink_.ProcessMessages();
}

void TSignatureScan::ComputeSignatures() {
  TScopeGuard end([this] {
    // The pictures decoded ahead are dropped before the dialog, which may wait long.
    decoder_.reset();
    // log.txt is released on a failure too, so the next scan can create it again.
    log_.reset();
    sink_.SetTitle("");
    progress_.EndItems(*this);
    desktop_.SetCursor(TCursor::crDefault);
    progress_.SetEndTime(Now());
    if (!options_.AutoRun) {
      desktop_.ShowMessage(std::to_string(progress_.Adds()) + " records added; " +
                           std::to_string(progress_.Edits()) + " records edited in " +
                           ElapsedText(progress_.EndTime() - progress_.StartTime()));
    }
    sink_.UpdateDBLabels();
  });
  PurgeDeletedFiles();
  desktop_.SetCursor(TCursor::crHourGlass);
  sink_.SetTitle("Counting Files...");
  progress_.ResetCounts();
  counting_ = true;
  plan_.clear();
  ReadDates();
  ScanFolder(options_.Folder);
  progress_.SetStartTime(Now());
  counting_ = false;
  sink_.SetTitle("Evaluating Signatures...");
  progress_.BeginItems(progress_.Total(), *this);
  log_ = std::make_unique<TTextWriter>(options_.AppDir + "log.txt");
  ReadDates();
  ScanFolder(options_.Folder);
  log_->Close();
  // The scan's rows survive a power loss from here on.
  sigs_.Sync();
  matches_.Sync();
  end.Run();
}

void TSignatureScan::PurgeDeletedFiles() {
  desktop_.SetCursor(TCursor::crHourGlass);
  const TScopeGuard cursor([this] { desktop_.SetCursor(TCursor::crDefault); });
  progress_.SetStartTime(Now());
  sink_.SetTitle("Removing Signature records for deleted files...");
  dates_.clear();
  datesMessageRuns_ = messageRuns_;
  datesFolder_ = DatesFolder();
  sigs_.First();
  std::string file;
  while (!sigs_.Eof()) {
    const std::string_view path = sigs_.FieldText("FilePath");
    const std::string_view name = sigs_.FieldText("FileName");
    file.assign(path).append(name);
    // Rows of another folder came with tables copied from there: they describe none of this
    // Folder's files. Rows of a format no longer scanned go as the files of a folder no longer
    // scanned do.
    if (IsScannedFolder(path) && IsPictureName(name, options_.Formats) && FileExists(file)) {
      if (HasGrayGrid(sigs_)) dates_.emplace(file, sigs_.FieldAsDateTime("FileDate"));
      sigs_.Next();
    } else {
      sigs_.Delete();
    }
    progress_.UpdateProgress(kTickModulus, *this);
  }
  RemoveMatchesOutsideFolder(matches_, datesFolder_, options_.Subfolders);
  datesValid_ = messageRuns_ == datesMessageRuns_;
}

bool TSignatureScan::IsScannedFolder(std::string_view path) const {
  return path == datesFolder_ || (options_.Subfolders && IsFolderBelow(path, datesFolder_));
}

std::string TSignatureScan::DatesFolder() const {
  std::string folder = options_.Folder;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

void TSignatureScan::ReadDates() {
  if (datesValid_ && messageRuns_ == datesMessageRuns_) return;
  dates_.clear();
  datesMessageRuns_ = messageRuns_;
  datesFolder_ = DatesFolder();
  std::string file;
  for (sigs_.First(); !sigs_.Eof(); sigs_.Next()) {
    const std::string_view path = sigs_.FieldText("FilePath");
    if (IsScannedFolder(path) && HasGrayGrid(sigs_)) {
      file.assign(path).append(sigs_.FieldText("FileName"));
      dates_.emplace(file, sigs_.FieldAsDateTime("FileDate"));
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
    sink_.AppendLogLine(folder);
  }
  const std::vector<std::string> files =
      ListPictureFiles(folder, {options_.Subfolders, options_.Formats},
                       [this](const std::string& unreadable, const std::string& reason) {
                         if (!counting_) sink_.UnableToProcess(unreadable, reason);
                       });
  for (const std::string& file : files) EvaluateFile(file);
}

bool TSignatureScan::FindRow(const std::string& name, const std::string& folder) {
  sigs_.SetKey();
  sigs_.SetFieldValue("FileName", name);
  sigs_.SetFieldValue("FilePath", folder);
  return sigs_.GotoKey();
}

bool TSignatureScan::StoredDate(std::string_view name, std::string_view folder, double& date) {
  if (datesValid_ && messageRuns_ == datesMessageRuns_) {
    datesKey_.assign(folder).append(name);
    const auto found = dates_.find(datesKey_);
    if (found == dates_.end()) return false;
    date = found->second;
    return true;
  }
  datesValid_ = false;
  if (!FindRow(std::string(name), std::string(folder)) || !HasGrayGrid(sigs_)) return false;
  date = sigs_.FieldAsDateTime("FileDate");
  return true;
}

bool TSignatureScan::LoadPicture(const std::string& path, bool tick, TFileStamp& opened) {
  if (!IsPictureFile(path, options_.Formats)) return false;
  if (counting_) {
    progress_.CountTotal();
    plan_.push_back(path);
    return false;
  }
  if (tick) {
    itemCounted_ = true;
    progress_.UpdateProgress(kTickModulus, *this);
  }
  ProcessMessages();
  const TBusyCursor busy(desktop_);
  if (decoder_ == nullptr) {
    decoder_ = std::make_unique<TDecodeAhead>(std::move(plan_), options_.Decoding.Threads, options_.Normalize,
                                              memory_);
  }
  // A picture a worker is still decoding may be long in coming: the window answers meanwhile.
  const std::unique_ptr<TDecodedPicture> picture = decoder_->Take(path, [this] { ProcessMessages(); });
  if (picture->Failure) std::rethrow_exception(picture->Failure);
  signature_ = picture->Signature;
  gray_ = std::move(picture->Gray);
  opened = picture->Opened;
  return true;
}

TSignatureScan::TLoadOutcome TSignatureScan::LoadUnchangedPicture(const std::string& path,
                                                                  TFileStamp& opened) {
  for (int decode = 1; decode <= kMaxDecodes; ++decode) {
    TFileStamp before;
    const bool existed = counting_ || FileStampAt(path, before);
    // One picture is one progress tick, however often it is decoded.
    if (!LoadPicture(path, decode == 1, opened)) return TLoadOutcome::kNothing;
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
  // The tables keep names and paths whole, up to their fields' sizes (tables made by an earlier
  // version hold less); a longer one has no row to look up and could never be a pair's file.
  const bool keyFits = namePart.size() <= static_cast<std::size_t>(sigs_.FieldSize("FileName")) &&
                       folderPart.size() <= static_cast<std::size_t>(sigs_.FieldSize("FilePath")) &&
                       path.size() <= static_cast<std::size_t>(matches_.FieldSize("File1"));

  double stored = 0;
  if (keyFits && !options_.Force && StoredDate(namePart, folderPart, stored) &&
      SameDateText(stored, GetFileDate(path))) {
    if (!counting_) progress_.UpdateProgress(kTickModulus, *this);
    return;
  }
  const std::string folder(folderPart);
  const std::string name(namePart);

  ProcessMessages();
  sink_.AppendLogLine(name);
  if (!keyFits) {
    if (!counting_) sink_.UnableToProcess(path, "name too long for the tables");
    return;
  }
  // A picture the counting pass counted is done once its evaluation ends, however it ends.
  const TScopeGuard done([this] {
    if (itemCounted_) progress_.CountItemDone();
    itemCounted_ = false;
  });
  TFileStamp opened;
  TLoadOutcome outcome = TLoadOutcome::kNothing;
  try {
    outcome = LoadUnchangedPicture(path, opened);
  } catch (const std::exception& e) {
    sink_.UnableToProcess(path, e.what());
    return;
  }
  if (outcome == TLoadOutcome::kKeptChanging) {
    sink_.UnableToProcess(path, "file changed while it was read");
    return;
  }
  if (outcome == TLoadOutcome::kNothing) return;

  const std::string text = SignatureToText(signature_);
  // The date of the very file that was decoded: a later write is seen by the next scan.
  const double date = StampDate(opened);

  if (FindRow(name, folder)) {
    changed_ = sigs_.FieldText("Signature") != text || sigs_.FieldText("Gray") != gray_;
    if (changed_) {
      progress_.CountEdit();
      sigs_.Edit();
      sigs_.SetFieldValue("FileDate", date);
      sigs_.SetFieldValue("Signature", text);
      sigs_.SetFieldValue("Gray", gray_);
      sigs_.Post();
    } else if (!SameDateText(sigs_.FieldAsDateTime("FileDate"), date)) {
      // Same pixels under a new date: storing the date spares the next scan from decoding it again.
      sigs_.Edit();
      sigs_.SetFieldValue("FileDate", date);
      sigs_.Post();
    }
  } else {
    progress_.CountAdd();
    sigs_.Append();
    sigs_.SetFieldValue("FileName", name);
    sigs_.SetFieldValue("FilePath", folder);
    sigs_.SetFieldValue("FileDate", date);
    sigs_.SetFieldValue("Signature", text);
    sigs_.SetFieldValue("Gray", gray_);
    changed_ = true;
    sigs_.Post();
    // After the post, so that the count shown includes the new row.
    sink_.UpdateDBLabels();
  }

  if (!counting_) progress_.UpdateProgress(kTickModulus, *this);

  if (changed_ && options_.IncrMatch) {
    const TBusyCursor busy(desktop_);
    sink_.FindMatchesFor();
  }
}

}  // namespace velquin

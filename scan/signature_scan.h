// TSignatureScan: one run of the Signatures command's body, bringing the Sigs table of the Folder in
// step with its picture files: purge of vanished files, counting pass, evaluation pass, closing
// dialog. It reads its options once, at its start, counts in the running command's TProgress and
// reports through a TScanSink; its own state lives for one run.
//
// The counting pass notes the pictures that need work; in the evaluation pass worker threads decode
// and sign them ahead (TDecodeAhead), while the scan's own thread does every table step, log line,
// incremental match and message run in the order of one picture at a time. A picture's pixels live
// only while the thread that decodes it signs it. What a scan stores and reports is the same for any
// number of threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "imaging/picture_loader.h"
#include "scan/decode_settings.h"
#include "scan/memory_budget.h"
#include "scan/progress.h"
#include "signature/signature.h"

namespace velquin {

class TDecodeAhead;
class TDesktop;
class TScanSink;
class TTable;
class TTextWriter;
struct TFileStamp;

struct TScanOptions {
  // The Folder, as DirEdit holds it.
  std::string Folder;
  // AppDir, ending in '/': log.txt is written there.
  std::string AppDir;
  // Load every picture, up to date or not.
  bool Force = false;
  // Equalise each picture's brightness before signing it.
  bool Normalize = false;
  // Search the matches of each added or changed row at once (TScanSink::FindMatchesFor).
  bool IncrMatch = false;
  // Scan every folder below the Folder too; each picture's row names its own folder. Without it the
  // rows of the folders below are purged.
  bool Subfolders = false;
  // The picture formats scanned.
  TPictureFormats Formats = TPictureFormats::kClassic;
  // Run by the Auto command: no closing dialog.
  bool AutoRun = false;
  // The threads that decode, and the memory check's figure.
  TDecodeSettings Decoding;
};

// Where the scan works: the Folder's tables.
struct TScanTargets {
  TTable& Sigs;
  TTable& Matches;
};

class TSignatureScan : private TProgressSink {
 public:
  // REQUIRES: the tables are open on options.Folder.
  TSignatureScan(const TScanOptions& options, const TScanTargets& tables, TDesktop& desktop,
                 TProgress& progress, TScanSink& sink);
  ~TSignatureScan() override;
  TSignatureScan(const TSignatureScan&) = delete;
  TSignatureScan& operator=(const TSignatureScan&) = delete;

  // The whole scan. Its closing steps (title, cursor, dialog, labels) run on every way out; a
  // failure other than a picture that cannot be loaded then passes on to the caller.
  void ComputeSignatures();
  // Deletes the Sigs rows of other folders (folders below the Folder are its own with Subfolders),
  // those whose FileName is no picture name of the formats scanned and those whose FilePath +
  // FileName names no existing file, then the Matches rows that name a file outside the folders.
  void PurgeDeletedFiles();
  // One walk over the folder's picture entries (any letter case), and with Subfolders over those of
  // the folders below, counting or evaluating. A folder below that cannot be listed is reported to
  // TScanSink::UnableToProcess in the evaluation pass.
  void ScanFolder(std::string folder);
  // One picture: the up-to-date test (a row without a Gray text is never up to date), loading,
  // signing (the Signature and the gray grid), storing and the incremental match. A name
  // or path longer than Sigs holds, a picture that cannot be decoded and one that keeps changing
  // while it is decoded are each reported to TScanSink::UnableToProcess with the reason.
  void EvaluateFile(const std::string& path);

 private:
  enum class TLoadOutcome { kNothing, kLoaded, kKeptChanging };

  // TProgressSink for the ticks: messages that run are counted (messageRuns_).
  void ShowProgressLine(const std::string& line) override;
  void ProcessMessages() override;

  // When the file is a picture LoadPicture decodes: in the counting pass counts it in the total and
  // the plan; in the evaluation pass ticks (when `tick`), lets messages run and decodes it under the
  // hourglass. Returns true iff a picture was decoded, signature_ and gray_ then holding its signature
  // and gray grid and `opened` the stamp of the file as opened for decoding. Throws what decoding
  // throws.
  bool LoadPicture(const std::string& path, bool tick, TFileStamp& opened);
  // LoadPicture, repeated while the file changes under the decoder (its stamp before the open, as
  // opened and after the decode differ), up to three decodes. On kLoaded `opened` is the stamp of
  // the file the signature was made from. Throws what decoding throws.
  TLoadOutcome LoadUnchangedPicture(const std::string& path, TFileStamp& opened);
  // Makes the Sigs row of (name, folder) current; returns true iff it exists.
  bool FindRow(const std::string& name, const std::string& folder);
  // The Folder as Sigs stores it in FilePath.
  std::string DatesFolder() const;
  // True iff the rows of FilePath `path` are the Folder's: it is the Folder, or with Subfolders a
  // folder below it.
  bool IsScannedFolder(std::string_view path) const;
  // Makes dates_ valid again, by one walk over Sigs, when messages ran since it was read.
  void ReadDates();
  // The stored FileDate of (name, folder), as the keyed lookup would read it; false when there is no
  // row. Answers from the dates the purge saw while no messages have run since, else looks it up.
  // REQUIRES: IsScannedFolder(folder).
  bool StoredDate(std::string_view name, std::string_view folder, double& date);

  const TScanOptions options_;
  TTable& sigs_;
  TTable& matches_;
  TDesktop& desktop_;
  TProgress& progress_;
  TScanSink& sink_;
  // True during the counting pass.
  bool counting_ = false;
  // True once the evaluation pass has begun to load the current picture: one of the items the
  // counting pass counted.
  bool itemCounted_ = false;
  TSignature signature_;
  // The pictures the counting pass found in need of work, in order: what the evaluation pass will
  // most likely decode.
  std::vector<std::string> plan_;
  TMemoryBudget memory_;
  // Decodes the plan during the evaluation pass.
  std::unique_ptr<TDecodeAhead> decoder_;
  // The gray grid of the picture decoded last, as text.
  std::string gray_;
  // True when the current picture's row was added or its Signature or Gray text changed.
  bool changed_ = false;
  // log.txt while the evaluation pass runs.
  std::unique_ptr<TTextWriter> log_;
  // The times the scan let messages run: while it stands still, no other handler can have touched
  // the tables.
  std::uint64_t messageRuns_ = 0;
  // FileDate of every Sigs row of the Folder (IsScannedFolder) by FilePath + FileName, read by the purge or
  // at the start of a pass: valid while messageRuns_ equals datesMessageRuns_, as only a handler run
  // by the messages (or the scan's own edits, which come after messages have run) can change Sigs. An
  // unchanged Folder runs no messages, so its passes need no keyed lookup.
  struct TNameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  std::unordered_map<std::string, double, TNameHash, std::equal_to<>> dates_;
  std::string datesFolder_;
  std::string datesKey_;  // the key of the latest StoredDate, kept to spare an allocation per picture
  bool datesValid_ = false;
  std::uint64_t datesMessageRuns_ = 0;
};

}  // namespace velquin

#include "signature/signature_scan.h"

#include <exception>

#include "platform/date_time.h"
#include "platform/desktop.h"
#include "platform/file_utils.h"
#include "platform/text_file.h"
#include "signature/convert.h"
#include "signature/picture_extension.h"
#include "signature/progress.h"
#include "signature/scan_host.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr std::int32_t kTickModulus = 1000;

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
    ScanFolder(host_.FolderText());
    host_.FStartTime = Now();
    counting_ = false;
    host_.SetTitle("Evaluating Signatures...");
    log_ = std::make_unique<TTextWriter>(host_.FAppDir + "log.txt");
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
  sigs.First();
  while (!sigs.Eof()) {
    if (FileExists(sigs.FieldAsString("FilePath") + sigs.FieldAsString("FileName"))) {
      sigs.Next();
    } else {
      sigs.Delete();
    }
    UpdateProgress(host_, kTickModulus);
  }
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

void TSignatureScan::EvaluateFile(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  TTable& sigs = host_.Sigs();

  if (!host_.ForceChecked() && FindRow(name, folder) &&
      DateTimeToText(sigs.FieldAsDateTime("FileDate")) == DateTimeToText(GetFileDate(path))) {
    if (!counting_) UpdateProgress(host_, kTickModulus);
    return;
  }

  host_.ProcessMessages();
  host_.AppendLogLine(name);
  TBitmap32& bitmap = host_.WorkingBitmap();
  bool loaded = false;
  try {
    loaded = host_.LoadPicture(path, counting_, true, bitmap);
  } catch (const std::exception&) {
    host_.InsertFirstLogLine("Unable to process \"" + path + "\"");
    return;
  }
  if (!loaded) return;

  if (host_.NormalizeChecked()) EqualizeBrightness(bitmap);
  signature_ = MakeSignature(bitmap);
  const std::string text = SignatureToText(signature_);

  if (FindRow(name, folder)) {
    changed_ = sigs.FieldAsString("Signature") != text;
    if (changed_) {
      ++host_.FEdits;
      sigs.Edit();
      sigs.SetFieldValue("FileDate", GetFileDate(path));
      sigs.SetFieldValue("Signature", text);
      sigs.Post();
    }
  } else {
    ++host_.FAdds;
    sigs.Append();
    sigs.SetFieldValue("FileName", name);
    sigs.SetFieldValue("FilePath", folder);
    sigs.SetFieldValue("FileDate", GetFileDate(path));
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

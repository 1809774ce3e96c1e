#include "app/form1.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "app/form_view.h"
#include "app/match_command.h"
#include "app/pair_preview.h"
#include "app/program_tables.h"
#include "imaging/picture_loader.h"
#include "matching/candidate_search.h"
#include "platform/date_time.h"
#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "platform/scope_guard.h"
#include "platform/text_utils.h"
#include "scan/folder_matches.h"
#include "scan/folder_walk.h"
#include "scan/picture_extension.h"
#include "scan/scan_sink.h"
#include "scan/signature_scan.h"
#include "signature/convert.h"
#include "tablestore/notification_hold.h"

namespace velquin {
namespace {

// While a command runs, the picture count is listed at most this often (when messages run).
constexpr auto kPictureCountInterval = std::chrono::seconds(1);
constexpr std::uint16_t kDeleteKey = 46;

// Thrown where a command lets messages run once it has been asked to stop. Not a std::exception: no
// handler on the way (a picture that fails to load, a failed step) may take it for a failure.
struct TCommandStopped {};

}  // namespace

class TForm1::TCommandDesktop : public TDesktop {
 public:
  explicit TCommandDesktop(TForm1& form) : form_(form) {}
  void ProcessMessages() override { form_.desktop_.ProcessMessages(); }
  TCursor Cursor() const override { return form_.desktop_.Cursor(); }
  void SetCursor(TCursor cursor) override { form_.desktop_.SetCursor(cursor); }
  void ShowMessage(const std::string& text) override {
    form_.desktop_.ShowMessage(form_.ClosingDialogText(text));
  }
  void ShowError(const std::string& text) override { form_.desktop_.ShowError(text); }
  TTrashedFile RecycleFile(const std::string& path) override { return form_.desktop_.RecycleFile(path); }
  void RestoreFile(const TTrashedFile& entry) override { form_.desktop_.RestoreFile(entry); }
  void ShellOpen(const std::string& path) override { form_.desktop_.ShellOpen(path); }

 private:
  TForm1& form_;
};

// The scan's reports, shown on the form's controls.
class TForm1::TScanAdapter : public TScanSink {
 public:
  explicit TScanAdapter(TForm1& form) : form_(form) {}
  void ShowProgressLine(const std::string& line) override { form_.ShowProgressLine(line); }
  void ProcessMessages() override { form_.ProcessMessages(); }
  void SetTitle(const std::string& caption) override { form_.SetTitle(caption); }
  void AppendLogLine(std::string line) override { form_.AppendLogLine(std::move(line)); }
  void UnableToProcess(const std::string& path, const std::string& reason) override {
    form_.InsertFirstLogLine(UnableToProcessLine(path));
    form_.AddProblem(UnableToProcessLine(path, reason));
  }
  void UpdateDBLabels() override { form_.UpdateDBLabels(); }
  // The Margin as MarginEdit holds it now: it may have changed while messages ran.
  void FindMatchesFor() override {
    velquin::FindMatchesFor(form_, StrToInt(form_.marginEditText_), {form_.turned_, form_.gray_});
  }

 private:
  TForm1& form_;
};

TForm1::TForm1(TDesktop& desktop, std::string appDir)
    : SigsTable("SigsTable"),
      MatchesTable("MatchesTable"),
      desktop_(desktop),
      commandDesktop_(std::make_unique<TCommandDesktop>(*this)),
      pairPreview_(std::make_unique<TPairPreview>([](const std::string& fileName, TBitmap32& target) {
        if (!IsPictureFile(fileName, TPictureFormats::kAll)) return;
        DecodeForDisplay(fileName, target);
      })) {
  if (appDir.empty() || appDir.back() != '/') appDir += '/';
  FAppDir = appDir;
  WriteProblemOf = TablesWriteProblem;
  MatchesSource.SetDataSet(&MatchesTable);
  // The pair display is an entry point of its own: a picture that fails to load is reported there
  // and never ends the deletion or the pass whose notification showed it.
  MatchesSource.OnDataChange = [this](std::string_view) {
    Guarded([this] { pairDisplay_.MatchesSourceDataChange(); });
  };
}

TForm1::~TForm1() {
  MatchesSource.OnDataChange = nullptr;
  MatchesSource.SetDataSet(nullptr);
}

void TForm1::SetView(TFormView* view) { view_ = view; }

template <typename Body>
void TForm1::Guarded(Body&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    desktop_.ShowError(e.what());
  }
}

TDesktop& TForm1::Desktop() { return *commandDesktop_; }

std::string TForm1::ProblemsNote() const {
  if (problems_.empty() || view_ == nullptr || !view_->ShowsProblemList()) return "";
  return std::string("\n") + std::to_string(problems_.size()) + " files could not be processed: see Problems";
}

std::string TForm1::ClosingDialogText(const std::string& text) {
  if (!Busy()) return text;
  std::string shown = text;
  if (stopRequested_) {
    shown = "Stopped: " + shown;
    stopShown_ = true;
  }
  return shown + ProblemsNote();
}

template <typename Body>
void TForm1::Command(Body&& body) {
  if (commandDepth_ == 0) stopRequested_ = stopShown_ = false;
  bool stopped = false;
  {
    ++commandDepth_;
    const TScopeGuard end([this] { EndCommand(); });
    try {
      body();
    } catch (const TCommandStopped&) {
      stopped = commandDepth_ == 1;
      if (!stopped) throw;
    }
  }
  if (stopped && !stopShown_) {
    desktop_.ShowMessage("Stopped: " + IntToStrSep(progress_.ItemsDone()) + " out of " +
                         IntToStrSep(progress_.ItemsToDo()) + " done in " +
                         ElapsedText(Now() - progress_.StartTime()) + ProblemsNote());
  }
}

void TForm1::EndCommand() {
  // The stop is done with: the decoding below must run its messages to the end.
  if (commandDepth_ == 1) stopRequested_ = false;
  // The pair current at the end is shown as the command returns: decoded while the command still
  // counts as running, so that the messages decoding lets run start no other command, and at once
  // for a pair found meanwhile too. What the preview has not shown yet is decoded here instead.
  if (commandDepth_ == 1) {
    pairPreview_->Cancel();
    previewAsked_.reset();
  }
  if (commandDepth_ == 1 && PairPicturesSeen()) {
    endingCommand_ = true;
    ShowPendingPairPictures();
    endingCommand_ = false;
  }
  if (--commandDepth_ > 0) return;
  // Labels that fail to refresh stay as they were; the command's own failure, if any, is reported.
  Quietly([this] {
    RefreshPictureCount();
    ShowCountLabels();
  });
  if (!progressLine_.empty()) {
    progressLine_.clear();
    Notify(TFormPart::ProgressLine);
  }
}

void TForm1::Notify(TFormPart part) {
  if (view_ != nullptr) view_->FormChanged(part);
}

void TForm1::NotifyMemo(TMemoChange change, const std::string& line) {
  if (view_ != nullptr) view_->MemoChanged(change, line);
}

// --- Control state ---------------------------------------------------------------------------------

void TForm1::SetDirEditText(const std::string& text) {
  if (Busy()) {
    // A running command keeps its Folder; the window shows the text that still holds.
    Notify(TFormPart::DirEdit);
    return;
  }
  Guarded([&] { ApplyDirEditText(text); });
}

void TForm1::ApplyDirEditText(const std::string& text) {
  if (text == dirEditText_) return;
  dirEditText_ = text;
  Notify(TFormPart::DirEdit);
  RunDirEditChange();
}

void TForm1::SetLBItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(lbItems_.size())) index = -1;
  if (index == lbItemIndex_) return;
  lbItemIndex_ = index;
  Notify(TFormPart::LB);
}

void TForm1::AddLBItem(const std::string& entry) {
  const auto place = std::upper_bound(lbItems_.begin(), lbItems_.end(), entry, LessIgnoringCase);
  const int at = static_cast<int>(place - lbItems_.begin());
  lbItems_.insert(place, entry);
  if (lbItemIndex_ >= at) ++lbItemIndex_;
  Notify(TFormPart::LB);
}

void TForm1::SetMarginEditText(const std::string& text) {
  if (text == marginEditText_) return;
  marginEditText_ = text;
  Notify(TFormPart::MarginEdit);
}

void TForm1::SetForceCB(bool checked) {
  force_ = checked;
  Notify(TFormPart::Options);
}

void TForm1::SetNormalizeCB(bool checked) {
  normalize_ = checked;
  Notify(TFormPart::Options);
}

void TForm1::SetIncrMatchCB(bool checked) {
  incrMatch_ = checked;
  Notify(TFormPart::Options);
}

void TForm1::SetColorsCB(bool checked) {
  colors_ = checked;
  Notify(TFormPart::Options);
}

void TForm1::SetSubfoldersCB(bool checked) {
  subfolders_ = checked;
  Notify(TFormPart::Options);
}

void TForm1::SetTurnedCB(bool checked) {
  turned_ = checked;
  Notify(TFormPart::Options);
}

void TForm1::SetGrayCB(bool checked) {
  gray_ = checked;
  Notify(TFormPart::Options);
}

void TForm1::SetAllFormatsCB(bool checked) {
  allFormats_ = checked;
  Notify(TFormPart::Options);
}

void TForm1::SetTitle(const std::string& caption) {
  if (caption == lTitle_) return;
  lTitle_ = caption;
  Notify(TFormPart::lTitle);
}

void TForm1::AppendLogLine(std::string line) {
  memo1_.push_back(std::move(line));
  NotifyMemo(TMemoChange::Appended, memo1_.back());
}

void TForm1::InsertFirstLogLine(const std::string& line) {
  memo1_.push_front(line);
  NotifyMemo(TMemoChange::InsertedFirst, line);
}

void TForm1::AddProblem(std::string line) {
  problems_.push_back(std::move(line));
  Notify(TFormPart::Problems);
}

void TForm1::ClearProblems() {
  if (problems_.empty()) return;
  problems_.clear();
  Notify(TFormPart::Problems);
}

void TForm1::LimitLogLines(std::size_t maxLines) {
  while (memo1_.size() > maxLines) DeleteFirstLogLine();
}

void TForm1::DeleteFirstLogLine() {
  memo1_.pop_front();
  NotifyMemo(TMemoChange::FirstDeleted, "");
}

void TForm1::ClearLog() {
  memo1_.clear();
  NotifyMemo(TMemoChange::Cleared, "");
}

void TForm1::ShowProgressLine(const std::string& line) {
  progressLine_ = line;
  Notify(TFormPart::ProgressLine);
}

void TForm1::SetReviewButtonsEnabled(bool enabled) {
  if (enabled == reviewButtonsEnabled_) return;
  reviewButtonsEnabled_ = enabled;
  Notify(TFormPart::ReviewButtons);
}

void TForm1::SetReviewLabel(TReviewLabel label, const std::string& text) {
  std::string& target = label == TReviewLabel::lFile1   ? lFile1_
                        : label == TReviewLabel::lFile2 ? lFile2_
                                                        : lComp_;
  // A description goes with its picture's facts.
  if (text.empty() && label != TReviewLabel::lComp) SetPairFacts(label == TReviewLabel::lFile1, {});
  if (target == text) return;
  target = text;
  Notify(TFormPart::PairLabels);
}

void TForm1::SetPairFacts(bool left, TPictureFacts facts) {
  TPictureFacts& target = left ? facts1_ : facts2_;
  if (target == facts) return;
  target = std::move(facts);
  Notify(TFormPart::PairLabels);
}

// --- Services ----------------------------------------------------------------------------------------

void TForm1::ProcessMessages() {
  RunMessages();
  // Only the command's own asks end it: the pair display also lets messages run, from inside a
  // repaint, where no stop may break in.
  if (stopRequested_ && Busy() && !endingCommand_) throw TCommandStopped{};
}

void TForm1::RunMessages() {
  if (pictureCountStale_ && std::chrono::steady_clock::now() - pictureCountTime_ >= kPictureCountInterval) {
    RefreshPictureCount();
    ShowCountLabels();
  }
  // A pair decoded aside is shown at the repaint these messages bring.
  if (pairPreview_->Ready()) Notify(TFormPart::PairPictures);
  desktop_.ProcessMessages();
}

bool TForm1::PairPicturesSeen() const { return view_ == nullptr || view_->ShowsPairPictures(); }

void TForm1::PairPicturesPending() {
  if (!PairPicturesSeen()) return;
  // While a command runs the current pair may change many times between two repaints (every pair
  // the incremental search appends is current for a moment): decoding each would cost the command
  // more than its own work.
  if (Busy() && !endingCommand_) {
    Notify(TFormPart::PairPictures);
    return;
  }
  pairDisplay_.ShowPendingPictures();
}

void TForm1::LoadPicture(const std::string& fileName, TBitmap32& target) {
  const bool left = &target == &Im1;
  // Emptied before messages run, so that the window repaints no stale picture meanwhile.
  SetPairFacts(left, {});
  target.SetHeight(0);
  target.SetWidth(0);
  // A pair shows whatever the scan that found it took, whichever formats are ticked now.
  if (!IsPictureFile(fileName, TPictureFormats::kAll)) return;
  RunMessages();
  const TBusyCursor busy(desktop_);
  DecodeForDisplay(fileName, target);
  SetPairFacts(left, ReadPictureFacts(fileName, target));
}

void TForm1::OpenTables() {
  const std::string problem = WriteProblemOf(std::string(FolderOfPath(dirEditText_)));
  SetReadOnlyNote(problem.empty() ? "" : "This folder cannot be written: " + problem);
  // Opening Matches and dropping the pairs of another folder reach the pair display as one change.
  TNotificationHold hold(MatchesTable);
  if (problem.empty()) {
    velquin::OpenTables(SigsTable, MatchesTable, dirEditText_,
                        [this](const std::string& line) { AppendLogLine(line); });
    RemoveMatchesOutsideFolder(MatchesTable, MatchesTable.DatabaseName, subfolders_);
  } else {
    // The pairs can still be looked at; nothing is created, repaired or removed.
    OpenTablesToRead(SigsTable, MatchesTable, dirEditText_);
  }
  hold.Resume();
}

void TForm1::SetReadOnlyNote(std::string note) {
  if (note == readOnlyNote_) return;
  readOnlyNote_ = std::move(note);
  Notify(TFormPart::WriteAccess);
}

void TForm1::RequireWritable() const {
  if (!readOnlyNote_.empty()) throw std::runtime_error(readOnlyNote_);
}

void TForm1::RequireFolder() const {
  if (IsBlank(dirEditText_)) throw std::runtime_error("No folder chosen");
  if (!FolderExists(dirEditText_)) throw ENoSuchFolder(dirEditText_);
}

// --- Count labels ------------------------------------------------------------------------------------

std::string TForm1::CountPictureFiles() const {
  // A blank folder text names no Folder (and would list the current folder).
  if (IsBlank(dirEditText_)) return "0";
  const TPictureFormats formats = allFormats_ ? TPictureFormats::kAll : TPictureFormats::kClassic;
  if (subfolders_) {
    // The pictures the scan would visit: its rows may be in any folder of the tree.
    std::string folder = dirEditText_;
    if (folder.back() != '/') folder += '/';
    return std::to_string(
        ListPictureFiles(folder, {true, formats}, [](const std::string&, const std::string&) {}).size());
  }
  std::int64_t count = 0;
  ForEachFolderEntry(dirEditText_, [&](const std::string& name, bool) {
    if (IsPictureName(name, formats)) ++count;
  });
  return std::to_string(count);
}

void TForm1::RefreshPictureCount() {
  pictureCount_ = CountPictureFiles();
  pictureCountStale_ = false;
  pictureCountTime_ = std::chrono::steady_clock::now();
}

void TForm1::ShowCountLabels() {
  const auto rows = [](const TTable& table) { return table.Active() ? table.RecordCount() : 0; };
  std::string sigs = "Signatures DB (" + std::to_string(rows(SigsTable)) + "/" + pictureCount_ + ")";
  std::string matches = "Matches DB (" + std::to_string(rows(MatchesTable)) + ")";
  if (sigs == lSigsDB_ && matches == lMatchesDB_) return;
  lSigsDB_ = std::move(sigs);
  lMatchesDB_ = std::move(matches);
  Notify(TFormPart::CountLabels);
}

void TForm1::UpdateDBLabels() {
  if (Busy()) {
    pictureCountStale_ = true;
  } else {
    RefreshPictureCount();
  }
  ShowCountLabels();
}

// --- Handlers ----------------------------------------------------------------------------------------

void TForm1::FormCreate() {
  Guarded([this] {
    FAutoRun = false;
    ReadSettings();
    LoadFolderList();
    ClearLog();
  });
}

void TForm1::FormDestroy() {
  Guarded([this] {
    WriteSettings();
    SaveFolderList();
  });
}

void TForm1::FormResize() {
  TFormLayout& l = layout_;
  l.DirEditWidth = l.Panel6Width - 2;
  l.Panel6Height = l.DirEditHeight + 2;
  l.Panel3Width = (l.Width - l.Panel6Width) / 2 - 8;
  l.GridFileColumnWidth = (l.Width - l.Panel5Width - l.GridColumn0Width - 48) / 2;
  Notify(TFormPart::Layout);
}

void TForm1::DirEditChange() {
  if (Busy()) return;
  Guarded([this] { RunDirEditChange(); });
}

void TForm1::RunDirEditChange() {
  if (IsBlank(dirEditText_)) {
    savedFolderText_ = dirEditText_;
    return;
  }
  // Refused before the list or the tables are touched: the previous Folder's tables stay open.
  if (!FolderExists(dirEditText_)) throw ENoSuchFolder(dirEditText_);
  if (dirEditText_.back() != '/') ApplyDirEditText(dirEditText_ + "/");
  const std::string folder = dirEditText_;
  if (std::none_of(lbItems_.begin(), lbItems_.end(),
                   [&](const std::string& entry) { return SameTextIgnoringCase(entry, folder); })) {
    AddLBItem(folder);
  }
  OpenTables();
  savedFolderText_ = folder;
  UpdateDBLabels();
}

void TForm1::LBClick() {
  if (lbItemIndex_ < 0) return;
  SetDirEditText(lbItems_[static_cast<std::size_t>(lbItemIndex_)]);
}

void TForm1::LBKeyDown(std::uint16_t& key) {
  if (key != kDeleteKey) return;
  key = 0;
  if (lbItemIndex_ < 0) return;
  lbItems_.erase(lbItems_.begin() + lbItemIndex_);
  lbItemIndex_ = -1;
  Notify(TFormPart::LB);
}

void TForm1::CompSigsButtonClick() {
  if (Busy()) return;
  Guarded([this] {
    ClearProblems();
    Command([this] { CompSigs(); });
  });
}

void TForm1::CompMatchesButtonClick() {
  if (Busy()) return;
  Guarded([this] {
    ClearProblems();
    Command([this] { CompMatches(); });
  });
}

void TForm1::AutoButtonClick() {
  if (Busy()) return;
  Guarded([this] {
    ClearProblems();
    Command([this] { Auto(); });
  });
}

void TForm1::ClearButtonClick() {
  if (Busy()) return;
  Guarded([this] {
    // A refused text has no trailing '/': its folder part would name the folder above it.
    if (!IsBlank(dirEditText_) && !FolderExists(dirEditText_)) throw ENoSuchFolder(dirEditText_);
    RequireWritable();
    SigsTable.Close();
    MatchesTable.Close();
    const std::string folder(FolderOfPath(dirEditText_));
    // Closing raises no notification: the pair display is cleared here instead of showing a pair of a
    // table that is gone.
    SetReviewLabel(TReviewLabel::lFile1, "");
    SetReviewLabel(TReviewLabel::lFile2, "");
    SetReviewLabel(TReviewLabel::lComp, "");
    Im1.Clear();
    Im2.Clear();
    DeleteTables(folder);
  });
}

void TForm1::StopButtonClick() {
  if (Busy()) stopRequested_ = true;
}

void TForm1::RunAsCommand(const std::function<void()>& body) {
  if (Busy()) return;
  Guarded([&] { Command(body); });
}

void TForm1::QuitButtonClick() {
  if (view_ != nullptr) view_->CloseRequested();
}

void TForm1::CompSigs() {
  RequireFolder();
  OpenTables();
  UpdateDBLabels();
  RequireWritable();
  TScanOptions options;
  options.Folder = dirEditText_;
  options.AppDir = FAppDir;
  options.Force = force_;
  options.Normalize = normalize_;
  options.IncrMatch = incrMatch_;
  options.Subfolders = subfolders_;
  options.Formats = allFormats_ ? TPictureFormats::kAll : TPictureFormats::kClassic;
  options.AutoRun = FAutoRun;
  options.Decoding = ScanDecoding;
  TScanAdapter sink(*this);
  TSignatureScan(options, {SigsTable, MatchesTable}, *commandDesktop_, progress_, sink).ComputeSignatures();
}

void TForm1::CompMatches() {
  RequireFolder();
  OpenTables();
  UpdateDBLabels();
  RequireWritable();
  TMatchCommand(*this, {FAppDir, FAutoRun, turned_, gray_}).Run();
}

void TForm1::Auto() {
  const TScopeGuard autoRunOff([this] { FAutoRun = false; });
  // The entries as they stand at the start: an entry without its trailing '/' gains a second,
  // corrected entry when it is chosen, which must neither be processed again nor push the last out.
  const std::vector<std::string> entries = lbItems_;
  for (const std::string& entry : entries) {
    const auto found = std::find(lbItems_.begin(), lbItems_.end(), entry);
    SetLBItemIndex(found == lbItems_.end() ? -1 : static_cast<int>(found - lbItems_.begin()));
    ApplyDirEditText(entry);
    FAutoRun = true;
    CompSigs();
    CompMatches();
    FAutoRun = false;
  }
  if (!lbItems_.empty()) SetLBItemIndex(0);
}

void TForm1::ShowPendingPairPictures() {
  Guarded([this] {
    if (Busy() && !endingCommand_) {
      ShowPreviewedPair();
    } else {
      pairDisplay_.ShowPendingPictures();
    }
  });
}

void TForm1::ShowPreviewedPair() {
  std::unique_ptr<TPairPreview::TDecodedPair> decoded = pairPreview_->Take();
  const std::optional<TPairDisplay::TPair>& wanted = pairDisplay_.PendingPair();
  if (wanted && wanted != previewAsked_) {
    previewAsked_ = wanted;
    pairPreview_->Ask(*wanted);
  }
  if (!decoded) return;
  pairDisplay_.ShowDecodedPair(decoded->Pair, decoded->Left, decoded->Right, decoded->Failure);
  SetPairFacts(true, ReadPictureFacts(decoded->Pair.File1, Im1));
  SetPairFacts(false, ReadPictureFacts(decoded->Pair.File2, Im2));
}

void TForm1::lViewButtonClick() {
  if (!reviewButtonsEnabled_) return;
  Guarded([this] { ViewButtonClick(*this, true); });
}

void TForm1::rViewButtonClick() {
  if (!reviewButtonsEnabled_) return;
  Guarded([this] { ViewButtonClick(*this, false); });
}

void TForm1::lDeleteButtonClick() {
  if (!reviewButtonsEnabled_) return;
  Guarded([this] {
    RequireWritable();
    PushUndo(DeleteButtonClick(*this, true));
  });
}

void TForm1::rDeleteButtonClick() {
  if (!reviewButtonsEnabled_) return;
  Guarded([this] {
    RequireWritable();
    PushUndo(DeleteButtonClick(*this, false));
  });
}

void TForm1::PushUndo(TTrashAction action) {
  if (action.Files.empty()) return;
  undo_.push_back(std::move(action));
  Notify(TFormPart::Undo);
}

void TForm1::EditUndoClick() {
  if (Busy() || undo_.empty()) return;
  Guarded([this] {
    const TTrashAction action = std::move(undo_.back());
    undo_.pop_back();
    Notify(TFormPart::Undo);
    const std::vector<std::string> failures = UndoTrashAction(desktop_, SigsTable, MatchesTable, action);
    UpdateDBLabels();
    if (failures.empty()) return;
    std::string text;
    for (const std::string& failure : failures) text += (text.empty() ? "" : "\n") + failure;
    desktop_.ShowMessage(text);
  });
}

}  // namespace velquin

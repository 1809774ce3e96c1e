// TForm1: the program's main form without a window. It holds the state of every control, owns the
// two table objects, the data source of the pair display, the three picture views' bitmaps and the
// progress counters its commands count in, and runs every handler.
//
// Faces: the Qt window binds widgets to it, velquin-cli drives it from a terminal, the tests drive
// it directly. Each supplies a TDesktop (message pump, cursor, message boxes, error report, trash,
// open with) and may attach a TFormView to hear about changes.
//
// Handlers (public methods named after a control and an event) are the entry points of the message
// loop: a failure inside one ends it there, goes to TDesktop::ShowError with the exception's text,
// and the form stays usable. Setters that the window calls for user input behave the same way.
//
// Setting the folder text runs DirEditChange when the text differs, as typing does; when that
// handler appends the trailing '/', it runs again, nested, and both runs open the tables.
// A text that names no folder is refused there with "<text>: no such folder": it enters no list
// and opens no table, and the previous Folder's tables stay open. The commands (ClearDBs too)
// refuse it the same way before they start.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/picture_facts.h"
#include "imaging/bitmap32.h"
#include "matching/match_host.h"
#include "matching/match_review.h"
#include "matching/trash_records.h"
#include "scan/decode_settings.h"
#include "scan/progress.h"
#include "tablestore/table.h"

namespace velquin {

class TDesktop;
class TFormView;
class TPairPreview;
enum class TFormPart;
enum class TMemoChange;

// Window placement and pane sizes. The window writes what the user changes (move, resize, splitter
// drags) and reads back what FormCreate and FormResize set.
struct TFormLayout {
  // Saved in Velquin2.INI.
  std::int32_t Left = 271;
  std::int32_t Top = 136;
  std::int32_t Width = 696;         // outer width
  std::int32_t Height = 480;        // outer height
  std::int32_t Panel5Width = 233;   // left pane
  std::int32_t LBHeight = 97;       // folder list
  std::int32_t DBGridHeight = 120;  // grid
  // Kept current by the window; read by FormResize.
  std::int32_t Panel6Width = 231;  // folder strip (inside the left pane's border)
  std::int32_t DirEditHeight = 21;
  std::int32_t GridColumn0Width = 64;  // MaxDiff column
  // Set by FormResize.
  std::int32_t DirEditWidth = 217;
  std::int32_t Panel6Height = 29;
  std::int32_t Panel3Width = 272;         // left picture pane
  std::int32_t GridFileColumnWidth = 64;  // File1 and File2 columns
};

class TForm1 : public TMatchHost {
 public:
  // appDir: AppDir, where the settings and state files live; '/' is appended when missing.
  // Nothing is read before FormCreate.
  TForm1(TDesktop& desktop, std::string appDir);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The view hears about every later change; nullptr detaches. Not owned.
  void SetView(TFormView* view);

  // AppDir, ending in '/'.
  std::string FAppDir;
  // True while the Auto command runs one folder: no closing dialogs.
  bool FAutoRun = false;
  // How the Signatures command decodes pictures: by default on every core.
  TDecodeSettings ScanDecoding;
  // Why the tables of a folder (ending in '/') cannot be written, in the system's words ("Read-only
  // file system"); "" when they can. TablesWriteProblem (app/program_tables.h) unless a test sets
  // its own answer.
  std::function<std::string(const std::string& folder)> WriteProblemOf;

  // --- Control state -------------------------------------------------------------------------
  TFormLayout& Layout() { return layout_; }
  const TFormLayout& Layout() const { return layout_; }

  const std::string& DirEditText() const { return dirEditText_; }
  // Runs DirEditChange when the text differs from the current one.
  void SetDirEditText(const std::string& text);

  // The folder list, sorted without regard to letter case; ItemIndex -1 when nothing is selected.
  const std::vector<std::string>& LBItems() const { return lbItems_; }
  int LBItemIndex() const { return lbItemIndex_; }
  // REQUIRES: -1 <= index < LBItems().size().
  void SetLBItemIndex(int index);
  // Adds an entry at its sorted place (duplicates allowed, as in a hand-written DirList.Txt).
  void AddLBItem(const std::string& entry);
  // Replaces the folder list by DirList.Txt of AppDir (emptied when the file is missing). Throws.
  void LoadFolderList();

  const std::string& MarginEditText() const { return marginEditText_; }
  void SetMarginEditText(const std::string& text);

  bool ForceCB() const { return force_; }
  bool NormalizeCB() const { return normalize_; }
  bool IncrMatchCB() const { return incrMatch_; }
  bool ColorsCB() const { return colors_; }
  void SetForceCB(bool checked);
  void SetNormalizeCB(bool checked);
  void SetIncrMatchCB(bool checked);
  void SetColorsCB(bool checked);
  // What is found: pictures in the folders below the Folder too, turned and mirrored copies, gray
  // copies, and the picture formats beyond JPEG, GIF and BMP. All off on first run.
  bool SubfoldersCB() const { return subfolders_; }
  bool TurnedCB() const { return turned_; }
  bool GrayCB() const { return gray_; }
  bool AllFormatsCB() const { return allFormats_; }
  void SetSubfoldersCB(bool checked);
  void SetTurnedCB(bool checked);
  void SetGrayCB(bool checked);
  void SetAllFormatsCB(bool checked);

  const std::string& lTitle() const { return lTitle_; }
  const std::string& lSigsDB() const { return lSigsDB_; }
  const std::string& lMatchesDB() const { return lMatchesDB_; }
  const std::string& lFile1() const { return lFile1_; }
  const std::string& lFile2() const { return lFile2_; }
  const std::string& lComp() const { return lComp_; }
  // The facts of the pair's left (Im1) or right (Im2) picture as shown; empty while none is.
  const TPictureFacts& PairFacts(bool left) const { return left ? facts1_ : facts2_; }
  // The log pane's lines, first line first.
  const std::deque<std::string>& Memo1() const { return memo1_; }
  // The pictures the latest Signatures or Auto command could not process, in the order met, each as
  // `Unable to process "<path>": <reason>` (the log pane has the same line without the reason).
  const std::vector<std::string>& Problems() const { return problems_; }
  // lViewButton, lDeleteButton, rViewButton, rDeleteButton: disabled only while the match pass runs.
  bool ReviewButtonsEnabled() const { return reviewButtonsEnabled_; }
  // The latest progress line of a running scan or match pass; empty when none runs.
  const std::string& ProgressLine() const { return progressLine_; }
  // The counters of the running command, or of the last one when none runs.
  const TProgress& Progress() const { return progress_; }
  // "" while the Folder's tables can be written; else "This folder cannot be written: " and the
  // reason. The tables are then open read-only (those that exist), and what would write refuses with
  // this text: Signatures, Matches, Auto, ClearDBs, the Delete buttons and trashing a group's copies.
  const std::string& ReadOnlyNote() const { return readOnlyNote_; }
  // Throws the ReadOnlyNote when there is one.
  void RequireWritable() const;
  // True while a command (Signatures, Matches, Auto) runs, that is while its messages run nested
  // inside it: the other commands and folder changes are then ignored, and a window must put off
  // closing (FormDestroy and destroying the form) until it is false again.
  bool Busy() const { return commandDepth_ > 0; }

  // The pair's two pictures.
  TBitmap32 Im1;
  TBitmap32 Im2;

  TTable SigsTable;
  TTable MatchesTable;
  // Drives the pair display (MatchesSourceDataChange); the grid attaches a data source of its own.
  TDataSource MatchesSource;

  // --- Handlers (entry points: failures go to the error report) -------------------------------
  void FormCreate();
  void FormDestroy();
  // Computes the FormResize sizes of Layout() from the sizes the window keeps there.
  void FormResize();
  void DirEditChange();
  // Sets the folder text to the selected entry of the folder list.
  void LBClick();
  // key 46 (Delete) removes the selected entry and is consumed (set to 0).
  void LBKeyDown(std::uint16_t& key);

  void CompSigsButtonClick();
  void CompMatchesButtonClick();
  void AutoButtonClick();
  void ClearButtonClick();
  void QuitButtonClick();
  // Asks the running command (Signatures, Matches, Auto) to stop where it next lets messages run;
  // what it stored so far stays, and its closing dialog says "Stopped: ...". Nothing when none runs.
  void StopButtonClick();
  // True from StopButtonClick until the stopped command has returned.
  bool StopRequested() const { return stopRequested_; }
  // Runs `body`, a long action of a view of the form ("trash the rest" of many groups), as a command:
  // Busy while it runs, so that the commands, folder changes and Undo wait, and Stop sets
  // StopRequested for the body to heed; its progress line goes when it ends. Nothing while a command
  // runs. A failure goes to the error report.
  void RunAsCommand(const std::function<void()>& body);

  // Decodes the pair's pictures that the pair display put off; nothing when none wait. A window calls
  // it as it repaints, so at most one pair is decoded per repaint, and only the one current then.
  // While a command runs they are decoded aside instead (TPairPreview), so that the window keeps
  // answering: the repaint hands the current pair over and shows the pair decoded last, if any.
  void ShowPendingPairPictures();

  void lViewButtonClick();
  void lDeleteButtonClick();
  void rViewButtonClick();
  void rDeleteButtonClick();

  // Edit > Undo: this session's moves to the trash (a Delete, a whole "trash the rest"), newest last.
  // Undoing brings the newest one's files back where they were, with their rows; a file whose place is
  // taken again stays in the trash, and a message says so.
  bool CanUndo() const { return !undo_.empty(); }
  void EditUndoClick();
  // Adds a move to the stack; an action that moved nothing is not kept.
  void PushUndo(TTrashAction action);

  // --- Operations shared with the other libraries --------------------------------------------
  // lSigsDB := "Signatures DB (rows/pictures)", lMatchesDB := "Matches DB (rows)". The row counts
  // are exact at once; the picture count is listed at once when no command runs, else at most once
  // a second while the command lets messages run and always when it ends.
  void UpdateDBLabels() override;
  // Number of entries of the Folder whose extension is .JPG, .BMP or .GIF in any letter case (or any
  // extension IsPictureName takes with AllFormatsCB), with SubfoldersCB those of the folders below it
  // too, in decimal; "0" when the Folder cannot be listed.
  std::string CountPictureFiles() const;
  // Closes both tables and opens them in the Folder, creating missing ones, and removes the Matches
  // rows that name a file outside the Folder (left by tables copied from another folder). A Folder
  // whose tables cannot be written (WriteProblemOf) gets its existing tables opened read-only and
  // nothing more, and the ReadOnlyNote. Throws.
  void OpenTables();

 private:
  class TScanAdapter;
  class TCommandDesktop;

  // TMatchHost.
  TDesktop& Desktop() override;
  TTable& Sigs() override { return SigsTable; }
  TTable& Matches() override { return MatchesTable; }
  TProgress& RunningProgress() override { return progress_; }
  std::string MarginText() const override { return marginEditText_; }
  bool ColorsChecked() const override { return colors_; }
  bool SubfoldersChecked() const override { return subfolders_; }
  TMatchTests MatchTestsChecked() const override { return {turned_, gray_}; }
  void SetTitle(const std::string& caption) override;
  void AppendLogLine(std::string line) override;
  void ShowProgressLine(const std::string& line) override;
  void LimitLogLines(std::size_t maxLines) override;
  // Lets messages run; ends a command that was asked to stop (TMatchHost, the scan).
  void ProcessMessages() override;
  // Lets messages run, and nothing more.
  void RunMessages();
  // Decodes at once when no command runs, else asks the view for a repaint; never for a view that
  // shows no pictures. A form without a view decodes as a window would that is never repainted.
  void PairPicturesPending() override;
  void LoadPicture(const std::string& fileName, TBitmap32& target) override;
  void SetReviewButtonsEnabled(bool enabled) override;
  void SetReviewLabel(TReviewLabel label, const std::string& text) override;
  TBitmap32& PairBitmap(bool left) override { return left ? Im1 : Im2; }

  // Throwing bodies of the handlers; the public handlers wrap them in the error report.
  template <typename Body>
  void Guarded(Body&& body);
  void ApplyDirEditText(const std::string& text);
  void RunDirEditChange();
  void CompSigs();
  void CompMatches();
  void Auto();
  void InsertFirstLogLine(const std::string& line);
  void AddProblem(std::string line);
  void ClearProblems();
  void DeleteFirstLogLine();
  void ClearLog();
  void RefreshPictureCount();
  void SetPairFacts(bool left, TPictureFacts facts);
  void ShowCountLabels();
  void ReadSettings();
  void WriteSettings();
  void SaveFolderList();
  void RequireFolder() const;
  void SetReadOnlyNote(std::string note);
  bool PairPicturesSeen() const;
  // ShowPendingPairPictures while a command runs.
  void ShowPreviewedPair();
  void Notify(TFormPart part);
  void NotifyMemo(TMemoChange change, const std::string& line);
  // The closing dialog's text as the running command shows it: "Stopped: " first when it was
  // stopped, the count of problems last when there are any and the view lists them.
  std::string ClosingDialogText(const std::string& text);
  // "\n<N> files could not be processed: see Problems", or empty.
  std::string ProblemsNote() const;
  // Runs a command's body with the command depth raised; at its end the pair's pictures are decoded
  // if they still wait, the labels become exact and the progress line goes. A stopped command ends
  // there, with a dialog of its own unless it showed its closing dialog as it stopped.
  template <typename Body>
  void Command(Body&& body);
  // The end of a command: see Command.
  void EndCommand();

  TDesktop& desktop_;
  // The desktop the commands see: their closing dialogs tell of a stop and of the problems.
  std::unique_ptr<TCommandDesktop> commandDesktop_;
  TFormView* view_ = nullptr;
  TPairDisplay pairDisplay_{*this};
  std::unique_ptr<TPairPreview> pairPreview_;
  // The pair handed to pairPreview_ last in this command.
  std::optional<TPairDisplay::TPair> previewAsked_;
  TProgress progress_;

  TFormLayout layout_;
  std::string dirEditText_;
  // The folder text Velquin2.INI gets: the one read from it, then each text whose change handling
  // went through (a blank one too). A folder that could not be opened is never saved over it.
  std::string savedFolderText_;
  std::vector<std::string> lbItems_;
  int lbItemIndex_ = -1;
  std::string marginEditText_ = "10";
  bool force_ = true;
  bool normalize_ = true;
  bool incrMatch_ = true;
  bool colors_ = true;
  bool subfolders_ = false;
  bool turned_ = false;
  bool gray_ = false;
  bool allFormats_ = false;
  std::string lTitle_;
  std::string lSigsDB_;
  std::string lMatchesDB_;
  std::string lFile1_;
  std::string lFile2_;
  std::string lComp_;
  TPictureFacts facts1_;
  TPictureFacts facts2_;
  std::deque<std::string> memo1_;
  std::vector<std::string> problems_;
  bool reviewButtonsEnabled_ = true;
  std::string progressLine_;
  std::vector<TTrashAction> undo_;
  std::string readOnlyNote_;

  // Nesting depth of the running commands; the picture count is listed lazily while above 0.
  int commandDepth_ = 0;
  // True while the outermost command decodes the pair's pictures as it ends.
  bool endingCommand_ = false;
  bool stopRequested_ = false;
  // True once the stopped command has shown its closing dialog.
  bool stopShown_ = false;
  // The picture count shown in lSigsDB, and whether it may be out of date.
  std::string pictureCount_ = "0";
  bool pictureCountStale_ = true;
  std::chrono::steady_clock::time_point pictureCountTime_;
};

}  // namespace velquin

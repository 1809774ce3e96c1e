// TMainWindow: the window "Velquin (Folder Version)". Assembles the controls in their regions and
// binds them to the headless form: user actions go to the form's handlers, the form's changes come
// back through its observer. It holds no program logic.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>

#include "app/form_view.h"
#include "imaging/picture_view.h"

namespace velquin {

class TForm1;
class TBottomStrip;
class TFolderBox;
class TFolderList;
class TGroupsView;
class TMatchesGrid;
class TPictureWidget;
class TSharedZoom;

class TMainWindow : public QMainWindow, public TFormView {
  Q_OBJECT

 public:
  // REQUIRES: form outlives the window. Attach the window with form.SetView before FormCreate.
  explicit TMainWindow(TForm1& form, QWidget* parent = nullptr);
  ~TMainWindow() override;

  // TFormView.
  void FormChanged(TFormPart part) override;
  void MemoChanged(TMemoChange change, const std::string& line) override;
  void CloseRequested() override;
  bool ShowsPairPictures() const override { return true; }
  bool ShowsProblemList() const override { return true; }

  // Shows the whole state of the form (after FormCreate, or any time).
  void ShowForm();

  // Controls, named as in the form.
  QPushButton* CompSigsButton;
  QPushButton* CompMatchesButton;
  QPushButton* AutoButton;
  QPushButton* ClearButton;
  QLabel* Label1;
  QLineEdit* MarginEdit;
  QLabel* lTitle;
  QCheckBox* ForceCB;
  QCheckBox* NormalizeCB;
  QCheckBox* IncrMatchCB;
  QCheckBox* ColorsCB;
  QCheckBox* SubfoldersCB;
  QCheckBox* TurnedCB;
  QCheckBox* GrayCB;
  QCheckBox* AllFormatsCB;
  QLabel* lSigsDB;
  QLabel* lMatchesDB;
  QPushButton* QuitButton;
  TFolderBox* DirEdit;
  TFolderList* LB;
  QPlainTextEdit* Memo1;
  // The form's list of problems, on the tab "Problems" beside the log pane's.
  QListWidget* ProblemList;
  QTabWidget* LogTabs;
  TMatchesGrid* DBGrid = nullptr;
  TPictureWidget* Im1 = nullptr;
  TPictureWidget* Im2 = nullptr;
  // The name of each picture shown, above its facts (size, pixels, format, date).
  QLabel* lFile1;
  QLabel* lFile2;
  QLabel* lFacts1;
  QLabel* lFacts2;
  // One zoom for both pictures: fitted, 1:1 (Space) or zoomed (+, -, Ctrl+wheel).
  TSharedZoom* Zoom;
  QPushButton* lViewButton;
  QPushButton* rViewButton;
  QPushButton* lDeleteButton;
  QPushButton* rDeleteButton;
  QLabel* lComp;
  QProgressBar* ProgressBar;
  QLabel* ProgressLine;
  // Why nothing that would write can be used, while the Folder cannot be written; hidden otherwise.
  QLabel* ReadOnlyLine;
  // The review: the pair grid and pictures (Panel2) and the groups of copies, one tab each.
  QTabWidget* ReviewTabs;
  TGroupsView* GroupsView;
  QAction* EditUndo;  // Edit > Undo (Ctrl+Z)
  // Stops the running command; usable only while one runs.
  QPushButton* StopButton;

  // The menu bar's commands, with their shortcuts.
  QAction* CompSigsAction;
  QAction* CompMatchesAction;
  QAction* AutoAction;
  QAction* ClearAction;
  QAction* StopAction;
  QAction* QuitAction;
  QAction* lViewAction;
  QAction* lDeleteAction;  // Delete, in the grid
  QAction* rViewAction;
  QAction* rDeleteAction;  // Ctrl+Delete, in the grid
  QAction* AboutAction;

  // Regions.
  QFrame* Panel1;
  QFrame* Panel2;
  QFrame* Panel3;
  QFrame* Panel4;
  QFrame* Panel5;
  QFrame* Panel6;
  QSplitter* Splitter2;
  QSplitter* Splitter3;
  QSplitter* Splitter4;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  static constexpr int kCloseRetryMs = 50;

  void BuildControls();
  // The top strip: the commands, the Margin, the options, the count labels and Quit.
  void BuildTopStrip();
  void BuildMenus();
  // Keyboard order: as the controls stand on the screen, left to right and top to bottom.
  void SetTabOrder();
  // Runs a command's handler with Stop usable while it runs.
  void RunCommand(void (TForm1::*handler)());
  void ShowAbout();
  // Closes the window as soon as no command runs.
  void CloseWhenIdle();
  void ConnectControls();
  // Window -> form: the sizes the user changed, then FormResize.
  void StoreLayout();
  // Form -> window: placement and pane sizes as the form holds them.
  void ShowLayout();
  // frame moved and shrunk as needed to lie on the screen it is on (or this window's).
  QRect OnScreen(const QRect& frame) const;
  void ShowFolderList();
  void ShowOptions();
  void ShowProgress();
  void ShowProblems();
  void ShowPairLabels();

  TForm1& form_;
  TImage32 im1View_;
  TImage32 im2View_;
  // True while the window writes its sizes into the form or shows the form's: changes it makes
  // itself are not sent back.
  bool syncingLayout_ = false;
  // True while FormResize runs on sizes the window gave: placement and pane sizes stay as they are.
  bool storingLayout_ = false;
  bool showingFolderList_ = false;
  bool destroyed_ = false;
  bool shownOnce_ = false;
  // A close was asked for while a command ran; it happens when the command has returned.
  bool closePending_ = false;
  // False until the window has shown the form's sizes once: sizes before that are Qt's, not the user's.
  bool layoutReady_ = false;
};

}  // namespace velquin

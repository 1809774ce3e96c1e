// TMainWindow: the window "Velquin (Folder Version)". Assembles the controls in their regions and
// binds them to the headless form: user actions go to the form's handlers, the form's changes come
// back through its observer. It holds no program logic.
#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>

namespace velquin {

class TImage32;
class TTable;
class TBottomStrip;
class TFolderBox;
class TFolderList;
class TMatchesGrid;
class TPictureWidget;

class TMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  TMainWindow(TTable& matches, TImage32& im1, TImage32& im2, QWidget* parent = nullptr);

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
  QLabel* lSigsDB;
  QLabel* lMatchesDB;
  QPushButton* QuitButton;
  TFolderBox* DirEdit;
  TFolderList* LB;
  QPlainTextEdit* Memo1;
  TMatchesGrid* DBGrid = nullptr;
  TPictureWidget* Im1 = nullptr;
  TPictureWidget* Im2 = nullptr;
  QLabel* lFile1;
  QLabel* lFile2;
  QPushButton* lViewButton;
  QPushButton* rViewButton;
  QPushButton* lDeleteButton;
  QPushButton* rDeleteButton;
  QLabel* lComp;
  QProgressBar* ProgressBar;
  QLabel* ProgressLine;

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
};

}  // namespace velquin

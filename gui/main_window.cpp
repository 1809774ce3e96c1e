#include "gui/main_window.h"

#include <QStatusBar>
#include <QVBoxLayout>

#include "gui/bottom_strip.h"
#include "gui/folder_box.h"
#include "gui/folder_list.h"
#include "gui/matches_grid.h"
#include "gui/picture_widget.h"

namespace velquin {
namespace {

QFrame* NewRegion(QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  frame->setLineWidth(1);
  return frame;
}

QPushButton* NewButton(const QString& caption, const QRect& place, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(place);
  return button;
}

QCheckBox* NewCheckBox(const QString& caption, const QRect& place, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setGeometry(place);
  return box;
}

QLabel* NewLabel(const QString& caption, const QPoint& place, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->move(place);
  label->adjustSize();
  return label;
}

}  // namespace

TMainWindow::TMainWindow(TTable& matches, TImage32& im1, TImage32& im2, QWidget* parent)
    : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Velquin (Folder Version)"));
  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);

  // Top strip.
  Panel1 = NewRegion(central);
  Panel1->setFixedHeight(57);
  column->addWidget(Panel1);
  CompSigsButton = NewButton(QStringLiteral("Signatures"), {8, 8, 53, 25}, Panel1);
  CompMatchesButton = NewButton(QStringLiteral("Matches"), {67, 8, 53, 25}, Panel1);
  AutoButton = NewButton(QStringLiteral("&Auto"), {126, 8, 53, 25}, Panel1);
  ClearButton = NewButton(QStringLiteral("ClearDBs"), {186, 8, 53, 25}, Panel1);
  Label1 = NewLabel(QStringLiteral("Margin"), {248, 12}, Panel1);
  MarginEdit = new QLineEdit(Panel1);
  MarginEdit->setGeometry(288, 8, 41, 21);
  lTitle = NewLabel(QString(), {352, 12}, Panel1);
  ForceCB = NewCheckBox(QStringLiteral("Force"), {248, 32, 57, 17}, Panel1);
  NormalizeCB = NewCheckBox(QStringLiteral("Normalize"), {304, 32, 73, 17}, Panel1);
  IncrMatchCB = NewCheckBox(QStringLiteral("IncrMatch"), {376, 32, 73, 17}, Panel1);
  ColorsCB = NewCheckBox(QStringLiteral("Colors"), {456, 32, 73, 17}, Panel1);
  lSigsDB = NewLabel(QString(), {8, 40}, Panel1);
  lMatchesDB = NewLabel(QString(), {152, 40}, Panel1);
  QuitButton = NewButton(QStringLiteral("&Quit"), {600, 24, 75, 25}, Panel1);

  Splitter4 = new QSplitter(Qt::Horizontal, central);
  Splitter4->setHandleWidth(3);
  Splitter4->setChildrenCollapsible(false);
  column->addWidget(Splitter4, 1);

  // Left pane: the inert bar, the folder strip, the folder list over the log pane.
  Panel5 = NewRegion(Splitter4);
  auto* left = new QVBoxLayout(Panel5);
  left->setContentsMargins(1, 1, 1, 1);
  left->setSpacing(0);
  auto* splitter1 = new QFrame(Panel5);
  splitter1->setFixedHeight(3);
  left->addWidget(splitter1);
  Panel6 = NewRegion(Panel5);
  Panel6->setFixedHeight(29);
  DirEdit = new TFolderBox(Panel6);
  DirEdit->setGeometry(0, 0, 217, 21);
  left->addWidget(Panel6);
  Splitter2 = new QSplitter(Qt::Vertical, Panel5);
  Splitter2->setHandleWidth(3);
  Splitter2->setChildrenCollapsible(false);
  LB = new TFolderList(Splitter2);
  Memo1 = new QPlainTextEdit(Splitter2);
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Splitter2->setStretchFactor(1, 1);
  left->addWidget(Splitter2, 1);

  // Right area: the grid over the two picture panes.
  Panel2 = NewRegion(Splitter4);
  auto* right = new QVBoxLayout(Panel2);
  right->setContentsMargins(1, 1, 1, 1);
  right->setSpacing(0);
  Splitter3 = new QSplitter(Qt::Vertical, Panel2);
  Splitter3->setHandleWidth(3);
  Splitter3->setChildrenCollapsible(false);
  right->addWidget(Splitter3);
  DBGrid = new TMatchesGrid(matches, Splitter3);
  auto* pictures = new QWidget(Splitter3);
  auto* panes = new QHBoxLayout(pictures);
  panes->setContentsMargins(0, 0, 0, 0);
  panes->setSpacing(0);
  Splitter3->setStretchFactor(1, 1);
  const auto newPane = [&](TImage32& image, bool withComparison, TPictureWidget*& view,
                           TBottomStrip*& strip) {
    QFrame* pane = NewRegion(pictures);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    view = new TPictureWidget(image, pane);
    strip = new TBottomStrip(withComparison, pane);
    layout->addWidget(view, 1);
    layout->addWidget(strip);
    return pane;
  };
  TBottomStrip* leftStrip = nullptr;
  TBottomStrip* rightStrip = nullptr;
  Panel3 = newPane(im1, true, Im1, leftStrip);
  Panel4 = newPane(im2, false, Im2, rightStrip);
  Panel3->setFixedWidth(272);
  panes->addWidget(Panel3);
  panes->addWidget(Panel4, 1);
  lFile1 = leftStrip->FileLabel();
  lViewButton = leftStrip->ViewButton();
  lDeleteButton = leftStrip->DeleteButton();
  lComp = leftStrip->Comparison();
  lFile2 = rightStrip->FileLabel();
  rViewButton = rightStrip->ViewButton();
  rDeleteButton = rightStrip->DeleteButton();

  // Status line: the progress of a long command.
  ProgressBar = new QProgressBar(this);
  ProgressBar->setTextVisible(false);
  ProgressBar->setMaximumWidth(160);
  ProgressLine = new QLabel(this);
  statusBar()->addWidget(ProgressBar);
  statusBar()->addWidget(ProgressLine, 1);
  statusBar()->setSizeGripEnabled(true);

  setTabOrder(MarginEdit, CompSigsButton);
  setTabOrder(CompSigsButton, QuitButton);
  setTabOrder(QuitButton, ForceCB);
  setTabOrder(ForceCB, NormalizeCB);
  setTabOrder(NormalizeCB, IncrMatchCB);
  setTabOrder(IncrMatchCB, ColorsCB);
  setTabOrder(ColorsCB, CompMatchesButton);
  setTabOrder(CompMatchesButton, AutoButton);
  setTabOrder(AutoButton, ClearButton);
  setTabOrder(ClearButton, DirEdit);
  setTabOrder(DirEdit, LB);
  setTabOrder(LB, Memo1);
  setTabOrder(Memo1, DBGrid);
  setTabOrder(DBGrid, lViewButton);
  setTabOrder(lViewButton, lDeleteButton);
  setTabOrder(lDeleteButton, rViewButton);
  setTabOrder(rViewButton, rDeleteButton);

  Splitter4->setSizes({233, 696 - 233});
  Splitter2->setSizes({97, 200});
  Splitter3->setSizes({120, 300});
  setGeometry(271, 136, 696, 480);
}

}  // namespace velquin

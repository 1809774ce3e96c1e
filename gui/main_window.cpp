#include "gui/main_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include "app/form1.h"
#include "gui/bottom_strip.h"
#include "gui/folder_box.h"
#include "gui/folder_list.h"
#include "gui/groups_view.h"
#include "gui/matches_grid.h"
#include "gui/picture_widget.h"
#include "usage/program_usage.h"

namespace velquin {
namespace {

QFrame* NewRegion(QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  frame->setLineWidth(1);
  return frame;
}

QLabel* NewLabel(const QString& caption, QWidget* parent) { return new QLabel(caption, parent); }

void SetCaption(QLabel* label, const std::string& text) { label->setText(QString::fromStdString(text)); }

// File and folder names are bytes; Qt shows them in the locale's encoding.
QString FromName(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }
std::string ToName(const QString& name) { return QFile::encodeName(name).toStdString(); }

// Gives the first pane of a two-pane splitter the size wanted; the second takes the rest.
void SetFirstPaneSize(QSplitter* splitter, int wanted) {
  const QList<int> sizes = splitter->sizes();
  if (sizes.size() != 2 || sizes[0] == wanted) return;
  const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
  if (total <= 0) return;  // not laid out yet
  splitter->setSizes({wanted, std::max(total - wanted, 1)});
}

}  // namespace

TMainWindow::TMainWindow(TForm1& form, QWidget* parent)
    : QMainWindow(parent), form_(form), im1View_(form.Im1), im2View_(form.Im2) {
  im1View_.SetScaleMode(TScaleMode::smResize);
  im2View_.SetScaleMode(TScaleMode::smResize);
  BuildControls();
  ConnectControls();
}

TMainWindow::~TMainWindow() {
  // The picture widgets go before the views they show; the form keeps its bitmaps.
  delete centralWidget();
}

void TMainWindow::BuildControls() {
  setWindowTitle(QStringLiteral("Velquin (Folder Version)"));
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);

  Panel1 = NewRegion(central);
  BuildTopStrip();
  column->addWidget(Panel1);

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
  auto* strip = new QHBoxLayout(Panel6);
  strip->setContentsMargins(1, 1, 1, 1);
  DirEdit = new TFolderBox(Panel6);
  strip->addWidget(DirEdit);
  left->addWidget(Panel6);
  Splitter2 = new QSplitter(Qt::Vertical, Panel5);
  Splitter2->setHandleWidth(3);
  Splitter2->setChildrenCollapsible(false);
  LB = new TFolderList(Splitter2);
  LogTabs = new QTabWidget(Splitter2);
  LogTabs->setDocumentMode(true);
  Memo1 = new QPlainTextEdit(LogTabs);
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  LogTabs->addTab(Memo1, QStringLiteral("Log"));
  ProblemList = new QListWidget(LogTabs);
  ProblemList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  LogTabs->addTab(ProblemList, QStringLiteral("Problems"));
  Splitter2->setStretchFactor(1, 1);
  left->addWidget(Splitter2, 1);

  // Right area: the grid over the two picture panes.
  // The pairs and the groups of copies: two ways to review the same tables.
  ReviewTabs = new QTabWidget(Splitter4);
  Panel2 = NewRegion(ReviewTabs);
  ReviewTabs->addTab(Panel2, QStringLiteral("Pairs"));
  GroupsView = new TGroupsView(form_, ReviewTabs);
  ReviewTabs->addTab(GroupsView, QStringLiteral("Groups"));
  auto* right = new QVBoxLayout(Panel2);
  right->setContentsMargins(1, 1, 1, 1);
  right->setSpacing(0);
  Splitter3 = new QSplitter(Qt::Vertical, Panel2);
  Splitter3->setHandleWidth(3);
  Splitter3->setChildrenCollapsible(false);
  right->addWidget(Splitter3);
  DBGrid = new TMatchesGrid(form_.MatchesTable, Splitter3);
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
  Panel3 = newPane(im1View_, true, Im1, leftStrip);
  Panel4 = newPane(im2View_, false, Im2, rightStrip);
  // The two pictures share the room alike, whatever the window's size.
  panes->addWidget(Panel3, 1);
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
  StopButton = new QPushButton(QStringLiteral("Stop"), this);
  StopButton->setEnabled(false);
  statusBar()->addWidget(ProgressBar);
  statusBar()->addWidget(ProgressLine, 1);
  statusBar()->addPermanentWidget(StopButton);
  statusBar()->setSizeGripEnabled(true);
  BuildMenus();
  SetTabOrder();

  // No pane collapses: each keeps room for a few lines of its text or a picture that can be seen.
  const int line = QFontMetrics(font()).height();
  Panel5->setMinimumWidth(12 * line);
  LB->setMinimumHeight(3 * line);
  LogTabs->setMinimumHeight(5 * line);
  DBGrid->setMinimumHeight(5 * line);
  for (TPictureWidget* view : {Im1, Im2}) view->setMinimumSize(8 * line, 6 * line);
  Splitter4->setStretchFactor(0, 0);
  Splitter4->setStretchFactor(1, 1);
  Splitter2->setStretchFactor(0, 0);
  Splitter3->setStretchFactor(0, 0);
  DBGrid->setColumnWidth(0, form_.Layout().GridColumn0Width);
}

void TMainWindow::BuildTopStrip() {
  // Two rows in the desktop's font: the commands, the Margin and the phase caption above; the count
  // labels and the options below; Quit at the right end.
  auto* grid = new QGridLayout(Panel1);
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  CompSigsButton = new QPushButton(QStringLiteral("Signatures"), Panel1);
  CompMatchesButton = new QPushButton(QStringLiteral("Matches"), Panel1);
  AutoButton = new QPushButton(QStringLiteral("&Auto"), Panel1);
  ClearButton = new QPushButton(QStringLiteral("ClearDBs"), Panel1);
  Label1 = NewLabel(QStringLiteral("Margin"), Panel1);
  MarginEdit = new QLineEdit(Panel1);
  MarginEdit->setMaximumWidth(QFontMetrics(MarginEdit->font()).horizontalAdvance(QStringLiteral("00000")) +
                              12);
  lTitle = NewLabel(QString(), Panel1);
  ForceCB = new QCheckBox(QStringLiteral("Force"), Panel1);
  NormalizeCB = new QCheckBox(QStringLiteral("Normalize"), Panel1);
  IncrMatchCB = new QCheckBox(QStringLiteral("IncrMatch"), Panel1);
  ColorsCB = new QCheckBox(QStringLiteral("Colors"), Panel1);
  SubfoldersCB = new QCheckBox(QStringLiteral("Subfolders"), Panel1);
  TurnedCB = new QCheckBox(QStringLiteral("Turned"), Panel1);
  GrayCB = new QCheckBox(QStringLiteral("Gray"), Panel1);
  AllFormatsCB = new QCheckBox(QStringLiteral("All formats"), Panel1);
  lSigsDB = NewLabel(QString(), Panel1);
  lMatchesDB = NewLabel(QString(), Panel1);
  QuitButton = new QPushButton(QStringLiteral("&Quit"), Panel1);

  auto* commands = new QHBoxLayout;
  for (QWidget* button : {CompSigsButton, CompMatchesButton, AutoButton, ClearButton})
    commands->addWidget(button);
  grid->addLayout(commands, 0, 0, 1, 2);
  grid->addWidget(lSigsDB, 1, 0);
  grid->addWidget(lMatchesDB, 1, 1);
  auto* margin = new QHBoxLayout;
  margin->addWidget(Label1);
  margin->addWidget(MarginEdit);
  margin->addSpacing(12);
  margin->addWidget(lTitle, 1);
  grid->addLayout(margin, 0, 2);
  auto* options = new QHBoxLayout;
  for (QWidget* box : {ForceCB, NormalizeCB, IncrMatchCB, ColorsCB}) options->addWidget(box);
  options->addStretch(1);
  grid->addLayout(options, 1, 2);
  // What is found, in a row of its own under the scan options.
  auto* found = new QHBoxLayout;
  for (QWidget* box : {SubfoldersCB, TurnedCB, GrayCB, AllFormatsCB}) found->addWidget(box);
  found->addStretch(1);
  grid->addLayout(found, 2, 2);
  grid->addWidget(QuitButton, 0, 3, 2, 1, Qt::AlignRight | Qt::AlignBottom);
  grid->setColumnStretch(2, 1);
}

void TMainWindow::BuildMenus() {
  const auto newAction = [this](QMenu* menu, const QString& text, const QKeySequence& keys = {}) {
    auto* action = menu->addAction(text);
    action->setShortcut(keys);
    action->setAutoRepeat(false);
    return action;
  };
  QMenu* commands = menuBar()->addMenu(QStringLiteral("&Commands"));
  CompSigsAction = newAction(commands, QStringLiteral("&Signatures"));
  CompMatchesAction = newAction(commands, QStringLiteral("&Matches"));
  AutoAction = newAction(commands, QStringLiteral("&Auto"));
  ClearAction = newAction(commands, QStringLiteral("&ClearDBs"));
  commands->addSeparator();
  StopAction = newAction(commands, QStringLiteral("S&top"), Qt::Key_Escape);
  StopAction->setEnabled(false);
  commands->addSeparator();
  QuitAction = newAction(commands, QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  EditUndo = newAction(edit, QStringLiteral("&Undo"), QKeySequence::Undo);
  EditUndo->setEnabled(false);

  // Delete and Ctrl+Delete act on the pair only while the grid has the focus: elsewhere Delete keeps
  // its own meaning (the folder list, the text boxes).
  QMenu* pair = menuBar()->addMenu(QStringLiteral("&Pair"));
  lViewAction = newAction(pair, QStringLiteral("&View left"));
  lDeleteAction = newAction(pair, QStringLiteral("&Delete left"), Qt::Key_Delete);
  rViewAction = newAction(pair, QStringLiteral("V&iew right"));
  rDeleteAction = newAction(pair, QStringLiteral("D&elete right"), QKeySequence(Qt::CTRL | Qt::Key_Delete));
  for (QAction* action : {lDeleteAction, rDeleteAction}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    DBGrid->addAction(action);
  }

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  AboutAction = help->addAction(QStringLiteral("&About Velquin"));
}

void TMainWindow::SetTabOrder() {
  const QList<QWidget*> order = {
      CompSigsButton, CompMatchesButton, AutoButton,  ClearButton,  MarginEdit, ForceCB,
      NormalizeCB,    IncrMatchCB,       ColorsCB,    SubfoldersCB, TurnedCB,   GrayCB,
      AllFormatsCB,   QuitButton,        DirEdit,     LB,           LogTabs,    DBGrid,
      lViewButton,    lDeleteButton,     rViewButton, rDeleteButton};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TMainWindow::RunCommand(void (TForm1::*handler)()) {
  if (form_.Busy()) return;
  StopButton->setEnabled(true);
  StopAction->setEnabled(true);
  (form_.*handler)();
  StopButton->setEnabled(false);
  StopAction->setEnabled(false);
}

void TMainWindow::ShowAbout() {
  QMessageBox::about(
      this, QStringLiteral("About Velquin"),
      QStringLiteral("Velquin %1\nFinds duplicate and near-duplicate pictures in a folder.")
          .arg(QString::fromUtf8(VersionNumber().data(), static_cast<qsizetype>(VersionNumber().size()))));
}

void TMainWindow::ConnectControls() {
  const auto both = [this](QAbstractButton* button, QAction* action, auto handler) {
    connect(button, &QAbstractButton::clicked, this, handler);
    connect(action, &QAction::triggered, this, handler);
  };
  both(CompSigsButton, CompSigsAction, [this] { RunCommand(&TForm1::CompSigsButtonClick); });
  both(CompMatchesButton, CompMatchesAction, [this] { RunCommand(&TForm1::CompMatchesButtonClick); });
  both(AutoButton, AutoAction, [this] { RunCommand(&TForm1::AutoButtonClick); });
  both(ClearButton, ClearAction, [this] {
    form_.ClearButtonClick();
    // Closing the tables notifies nobody: the grid shows that Matches is gone.
    DBGrid->Model().Refresh();
  });
  both(StopButton, StopAction, [this] { form_.StopButtonClick(); });
  both(QuitButton, QuitAction, [this] { form_.QuitButtonClick(); });
  both(lViewButton, lViewAction, [this] { form_.lViewButtonClick(); });
  both(lDeleteButton, lDeleteAction, [this] { form_.lDeleteButtonClick(); });
  both(rViewButton, rViewAction, [this] { form_.rViewButtonClick(); });
  both(rDeleteButton, rDeleteAction, [this] { form_.rDeleteButtonClick(); });
  connect(AboutAction, &QAction::triggered, this, [this] { ShowAbout(); });
  connect(ReviewTabs, &QTabWidget::currentChanged, this, [this] {
    if (ReviewTabs->currentWidget() == GroupsView) GroupsView->Refresh();
  });
  connect(EditUndo, &QAction::triggered, this, [this] {
    form_.EditUndoClick();
    if (ReviewTabs->currentWidget() == GroupsView) GroupsView->Refresh();
  });

  connect(MarginEdit, &QLineEdit::textEdited, this,
          [this](const QString& text) { form_.SetMarginEditText(text.toStdString()); });
  connect(ForceCB, &QCheckBox::clicked, this, [this](bool checked) { form_.SetForceCB(checked); });
  connect(NormalizeCB, &QCheckBox::clicked, this, [this](bool checked) { form_.SetNormalizeCB(checked); });
  connect(IncrMatchCB, &QCheckBox::clicked, this, [this](bool checked) { form_.SetIncrMatchCB(checked); });
  connect(ColorsCB, &QCheckBox::clicked, this, [this](bool checked) { form_.SetColorsCB(checked); });
  connect(SubfoldersCB, &QCheckBox::clicked, this, [this](bool checked) { form_.SetSubfoldersCB(checked); });
  connect(TurnedCB, &QCheckBox::clicked, this, [this](bool checked) { form_.SetTurnedCB(checked); });
  connect(GrayCB, &QCheckBox::clicked, this, [this](bool checked) { form_.SetGrayCB(checked); });
  connect(AllFormatsCB, &QCheckBox::clicked, this, [this](bool checked) { form_.SetAllFormatsCB(checked); });

  connect(DirEdit, &TFolderBox::TextChosen, this,
          [this](const QString& text) { form_.SetDirEditText(ToName(text)); });
  connect(LB, &QListWidget::currentRowChanged, this, [this](int row) {
    if (showingFolderList_ || row < 0) return;
    form_.SetLBItemIndex(row);
    form_.LBClick();
  });
  connect(LB, &TFolderList::DeletePressed, this, [this] {
    form_.SetLBItemIndex(LB->currentRow());
    std::uint16_t key = 46;
    form_.LBKeyDown(key);
  });

  for (QSplitter* splitter : {Splitter2, Splitter3, Splitter4})
    connect(splitter, &QSplitter::splitterMoved, this, [this] { StoreLayout(); });
  connect(DBGrid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
    if (section == 0) StoreLayout();
  });
}

void TMainWindow::ShowForm() {
  ShowLayout();
  for (TFormPart part :
       {TFormPart::DirEdit, TFormPart::LB, TFormPart::MarginEdit, TFormPart::Options, TFormPart::lTitle,
        TFormPart::CountLabels, TFormPart::PairLabels, TFormPart::ReviewButtons, TFormPart::ProgressLine,
        TFormPart::Problems, TFormPart::Undo})
    FormChanged(part);
  MemoChanged(TMemoChange::Cleared, {});
  for (const std::string& line : form_.Memo1()) MemoChanged(TMemoChange::Appended, line);
  DBGrid->Model().Refresh();
}

void TMainWindow::FormChanged(TFormPart part) {
  switch (part) {
    case TFormPart::Layout:
      ShowLayout();
      break;
    case TFormPart::DirEdit:
      DirEdit->SetText(FromName(form_.DirEditText()));
      break;
    case TFormPart::LB:
      ShowFolderList();
      break;
    case TFormPart::MarginEdit:
      if (MarginEdit->text().toStdString() != form_.MarginEditText())
        MarginEdit->setText(QString::fromStdString(form_.MarginEditText()));
      break;
    case TFormPart::Options:
      ShowOptions();
      break;
    case TFormPart::lTitle:
      SetCaption(lTitle, form_.lTitle());
      break;
    case TFormPart::CountLabels:
      SetCaption(lSigsDB, form_.lSigsDB());
      SetCaption(lMatchesDB, form_.lMatchesDB());
      break;
    case TFormPart::PairLabels:
      SetCaption(lFile1, form_.lFile1());
      SetCaption(lFile2, form_.lFile2());
      SetCaption(lComp, form_.lComp());
      break;
    case TFormPart::PairPictures:
      // The pictures are decoded when this repaint comes (event below).
      Im1->update();
      Im2->update();
      break;
    case TFormPart::ReviewButtons:
      for (QPushButton* button : {lViewButton, lDeleteButton, rViewButton, rDeleteButton})
        button->setEnabled(form_.ReviewButtonsEnabled());
      for (QAction* action : {lViewAction, lDeleteAction, rViewAction, rDeleteAction})
        action->setEnabled(form_.ReviewButtonsEnabled());
      break;
    case TFormPart::ProgressLine:
      ShowProgress();
      break;
    case TFormPart::Problems:
      ShowProblems();
      break;
    case TFormPart::Undo:
      EditUndo->setEnabled(form_.CanUndo());
      break;
  }
}

void TMainWindow::MemoChanged(TMemoChange change, const std::string& line) {
  QTextCursor cursor(Memo1->document());
  switch (change) {
    case TMemoChange::Appended:
      Memo1->appendPlainText(QString::fromStdString(line));
      break;
    case TMemoChange::InsertedFirst:
      cursor.movePosition(QTextCursor::Start);
      cursor.insertText(QString::fromStdString(line) + (Memo1->document()->isEmpty() ? "" : "\n"));
      break;
    case TMemoChange::FirstDeleted:
      cursor.movePosition(QTextCursor::Start);
      cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
      if (!cursor.hasSelection()) cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
      cursor.removeSelectedText();
      break;
    case TMemoChange::Cleared:
      Memo1->clear();
      break;
  }
}

void TMainWindow::CloseRequested() { close(); }

bool TMainWindow::event(QEvent* event) {
  // A repaint of the window starts here, before any widget paints: the pair's pictures put off by a
  // running command are decoded now, so this repaint shows them and their labels, and a window that
  // is not shown never decodes them.
  if (event->type() == QEvent::UpdateRequest) form_.ShowPendingPairPictures();
  return QMainWindow::event(event);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (form_.Busy()) {
    // A command is running underneath this event: the form may go only once it has returned.
    event->ignore();
    if (!closePending_) {
      closePending_ = true;
      CloseWhenIdle();
    }
    return;
  }
  if (!destroyed_) {
    StoreLayout();
    destroyed_ = true;
    form_.FormDestroy();
  }
  event->accept();
}

void TMainWindow::CloseWhenIdle() {
  QTimer::singleShot(kCloseRetryMs, this, [this] {
    if (form_.Busy()) {
      CloseWhenIdle();
      return;
    }
    closePending_ = false;
    close();
  });
}

void TMainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  StoreLayout();
}

void TMainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  StoreLayout();
}

void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  // The saved sizes are outer sizes: apply them again once the window has its frame and its panes
  // their real sizes.
  QTimer::singleShot(0, this, [this] {
    ShowLayout();
    layoutReady_ = true;
    StoreLayout();
  });
  // The pairs are what the user came for: the keyboard starts in the grid.
  DBGrid->setFocus();
}

void TMainWindow::StoreLayout() {
  if (!layoutReady_ || syncingLayout_ || destroyed_) return;
  TFormLayout& layout = form_.Layout();
  const QRect frame = frameGeometry();
  layout.Left = frame.x();
  layout.Top = frame.y();
  layout.Width = frame.width();
  layout.Height = frame.height();
  layout.Panel5Width = Panel5->width();
  layout.LBHeight = LB->height();
  layout.DBGridHeight = DBGrid->height();
  layout.Panel6Width = Panel6->width();
  layout.DirEditHeight = DirEdit->height();
  layout.GridColumn0Width = DBGrid->columnWidth(0);
  storingLayout_ = true;
  form_.FormResize();
  storingLayout_ = false;
}

QRect TMainWindow::OnScreen(const QRect& frame) const {
  // A placement saved on a larger screen, or one now gone, is brought onto the screen the window
  // opens on: no larger than it, and wholly on it.
  const QScreen* screen = QGuiApplication::screenAt(frame.center());
  if (screen == nullptr) screen = this->screen();
  if (screen == nullptr) return frame;
  const QRect room = screen->availableGeometry();
  QRect placed(frame.topLeft(),
               frame.size().boundedTo(room.size()).expandedTo(minimumSizeHint()).boundedTo(room.size()));
  placed.moveLeft(std::clamp(placed.left(), room.left(), room.right() + 1 - placed.width()));
  placed.moveTop(std::clamp(placed.top(), room.top(), room.bottom() + 1 - placed.height()));
  return placed;
}

void TMainWindow::ShowLayout() {
  if (syncingLayout_) return;
  syncingLayout_ = true;
  const TFormLayout& layout = form_.Layout();
  if (!storingLayout_) {
    const QSize frameExtra = frameGeometry().size() - size();
    const QRect frame = OnScreen(QRect(layout.Left, layout.Top, layout.Width, layout.Height));
    if (frameGeometry().topLeft() != frame.topLeft()) move(frame.topLeft());
    const QSize client(frame.width() - frameExtra.width(), frame.height() - frameExtra.height());
    if (size() != client) resize(client);
    SetFirstPaneSize(Splitter4, layout.Panel5Width);
    SetFirstPaneSize(Splitter2, layout.LBHeight);
    SetFirstPaneSize(Splitter3, layout.DBGridHeight);
  }
  DBGrid->setColumnWidth(1, std::max(layout.GridFileColumnWidth, 0));
  DBGrid->setColumnWidth(2, std::max(layout.GridFileColumnWidth, 0));
  syncingLayout_ = false;
}

void TMainWindow::ShowFolderList() {
  showingFolderList_ = true;
  QStringList items;
  for (const std::string& item : form_.LBItems()) items << FromName(item);
  bool same = LB->count() == items.size();
  for (int i = 0; same && i < items.size(); ++i) same = LB->item(i)->text() == items[i];
  if (!same) {
    LB->clear();
    LB->addItems(items);
  }
  LB->setCurrentRow(form_.LBItemIndex());
  showingFolderList_ = false;
}

void TMainWindow::ShowOptions() {
  const std::pair<QCheckBox*, bool> boxes[] = {
      {ForceCB, form_.ForceCB()},   {NormalizeCB, form_.NormalizeCB()},   {IncrMatchCB, form_.IncrMatchCB()},
      {ColorsCB, form_.ColorsCB()}, {SubfoldersCB, form_.SubfoldersCB()}, {TurnedCB, form_.TurnedCB()},
      {GrayCB, form_.GrayCB()},     {AllFormatsCB, form_.AllFormatsCB()}};
  for (const auto& [box, checked] : boxes) box->setChecked(checked);
}

void TMainWindow::ShowProgress() {
  ProgressLine->setText(QString::fromStdString(form_.ProgressLine()));
  const TProgress& progress = form_.Progress();
  ProgressBar->setVisible(!form_.ProgressLine().empty() && progress.ItemsToDo() > 0);
  if (ProgressBar->isHidden()) return;
  constexpr int kSteps = 1000;
  ProgressBar->setRange(0, kSteps);
  ProgressBar->setValue(static_cast<int>(
      std::clamp<std::int64_t>(progress.ItemsDone() * kSteps / progress.ItemsToDo(), 0, kSteps)));
}

void TMainWindow::ShowProblems() {
  const std::vector<std::string>& problems = form_.Problems();
  // The list only grows while a command runs; it is emptied when the next one starts.
  if (static_cast<std::size_t>(ProblemList->count()) > problems.size()) ProblemList->clear();
  if (problems.empty()) LogTabs->setCurrentWidget(Memo1);
  // The first problem of a command brings the list to the front; the user may turn back to the log.
  if (ProblemList->count() == 0 && !problems.empty()) LogTabs->setCurrentWidget(ProblemList);
  for (auto i = static_cast<std::size_t>(ProblemList->count()); i < problems.size(); ++i)
    ProblemList->addItem(FromName(problems[i]));
  const int tab = LogTabs->indexOf(ProblemList);
  LogTabs->setTabText(tab, problems.empty() ? QStringLiteral("Problems")
                                            : QStringLiteral("Problems (%1)").arg(problems.size()));
}

}  // namespace velquin

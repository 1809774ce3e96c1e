// TGroupsView: the "Groups" tab: the groups of copies of the Folder with each member's pixel size, file
// size, format and date, the keeper first; the thumbnail strip of the selected group; and the buttons
// "Keep this one", "Trash the rest" and "Trash the rest of all groups". It binds widgets to the form's
// TGroupsForm and asks the user before anything moves.
//
// The tab follows Matches as the pair grid does, but reading the groups costs a walk of Matches and a
// look at every member's file: while it is shown, a change is taken up kFollowMs after it came, however
// many pairs a running scan appends meanwhile, and groups read while a command ran are read once more
// when it has ended. A hidden tab reads them when it is shown.
#pragma once

#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

#include "app/groups_form.h"
#include "tablestore/table.h"

namespace velquin {

class TForm1;
class TGroupsThumbnails;

class TGroupsView : public QWidget {
  Q_OBJECT

 public:
  enum Column { ColumnFile, ColumnPixels, ColumnBytes, ColumnFormat, ColumnDate, ColumnNote, ColumnCount };
  static constexpr int kFollowMs = 500;

  explicit TGroupsView(TForm1& form, QWidget* parent = nullptr);
  ~TGroupsView() override;

  // Reads the groups afresh and shows them.
  void Refresh();
  // Enables the buttons as the selection allows; the trash buttons only while the Folder can be
  // written.
  void ShowButtons();

  QTreeWidget* GroupTree;
  TGroupsThumbnails* Thumbnails;
  QPushButton* KeepButton;
  QPushButton* TrashGroupButton;
  QPushButton* TrashAllButton;

 signals:
  // A "trash the rest" run starts (true) or has ended (false): Stop may end it meanwhile.
  void TrashRunning(bool running);

 private:
  void ShowGroups();
  void MatchesChanged();
  void Follow();
  void SelectionChanged();
  void KeepClicked();
  void TrashGroupClicked();
  void TrashAllClicked();
  // Runs a "trash the rest" with Stop usable, then shows the groups read afresh.
  void RunTrash(const std::function<void()>& trash);
  // The selected tree item's group and member (-1 for the group's own row); false when none is selected.
  bool SelectedPlace(int& group, int& member) const;

  TForm1& form_;
  TGroupsForm groups_;
  TDataSource matchesSource_;
  QTimer followTimer_;
  // Matches changed since the groups were read.
  bool matchesChanged_ = false;
};

}  // namespace velquin

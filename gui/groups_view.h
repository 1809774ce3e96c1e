// TGroupsView: the "Groups" tab: the groups of copies of the Folder with each member's pixel size, file
// size, format and date, the keeper first; the thumbnail strip of the selected group; and the buttons
// "Keep this one", "Trash the rest" and "Trash the rest of all groups". It binds widgets to the form's
// TGroupsForm and asks the user before anything moves.
#pragma once

#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include "app/groups_form.h"

namespace velquin {

class TForm1;
class TGroupsThumbnails;

class TGroupsView : public QWidget {
  Q_OBJECT

 public:
  enum Column { ColumnFile, ColumnPixels, ColumnBytes, ColumnFormat, ColumnDate, ColumnNote, ColumnCount };

  explicit TGroupsView(TForm1& form, QWidget* parent = nullptr);

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

 private:
  void ShowGroups();
  void SelectionChanged();
  void KeepClicked();
  void TrashGroupClicked();
  void TrashAllClicked();
  // The selected tree item's group and member (-1 for the group's own row); false when none is selected.
  bool SelectedPlace(int& group, int& member) const;

  TForm1& form_;
  TGroupsForm groups_;
};

}  // namespace velquin

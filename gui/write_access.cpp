#include "gui/write_access.h"

#include "app/form1.h"
#include "gui/groups_view.h"
#include "gui/main_window.h"

namespace velquin {

void ShowWriteAccess(TMainWindow& window, const TForm1& form) {
  const bool writable = form.ReadOnlyNote().empty();
  for (QPushButton* button :
       {window.CompSigsButton, window.CompMatchesButton, window.AutoButton, window.ClearButton})
    button->setEnabled(writable);
  for (QAction* action :
       {window.CompSigsAction, window.CompMatchesAction, window.AutoAction, window.ClearAction})
    action->setEnabled(writable);
  const bool deletable = writable && form.ReviewButtonsEnabled();
  for (QPushButton* button : {window.lDeleteButton, window.rDeleteButton}) button->setEnabled(deletable);
  for (QAction* action : {window.lDeleteAction, window.rDeleteAction}) action->setEnabled(deletable);
  window.GroupsView->ShowButtons();
  window.ReadOnlyLine->setText(QString::fromStdString(form.ReadOnlyNote()));
  window.ReadOnlyLine->setVisible(!writable);
}

}  // namespace velquin

// TFolderList: the folder list on screen. Shows the entries it is given in their order and reports
// clicks and the Delete key; the list itself (sorted, without regard to case) is the form's.
#pragma once

#include <QListWidget>

namespace velquin {

class TFolderList : public QListWidget {
  Q_OBJECT

 public:
  explicit TFolderList(QWidget* parent = nullptr);

 signals:
  void DeletePressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace velquin

#include "gui/folder_list.h"

#include <QKeyEvent>

namespace velquin {

TFolderList::TFolderList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
}

void TFolderList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    emit DeletePressed();
    event->accept();
    return;
  }
  QListWidget::keyPressEvent(event);
}

}  // namespace velquin

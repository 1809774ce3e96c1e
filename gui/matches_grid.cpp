#include "gui/matches_grid.h"

#include <QHeaderView>
#include <QTimer>

namespace velquin {

TMatchesGrid::TMatchesGrid(TTable& table, QWidget* parent) : QTableView(parent), model_(table) {
  setModel(&model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumWidth(12);
  horizontalHeader()->setHighlightSections(false);
  connect(&model_, &TMatchesModel::CurrentRowChanged, this, &TMatchesGrid::ShowCurrentRow);
  ShowCurrentRow(model_.CurrentRow());
}

void TMatchesGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (following_ || !current.isValid()) return;
  // Moving the table runs the form's pair display and may change the model: not inside the view's
  // own selection handling.
  const int row = current.row();
  QTimer::singleShot(0, this, [this, row] { model_.MoveTo(row); });
}

void TMatchesGrid::ShowCurrentRow(int row) {
  if (row < 0) return;
  const QModelIndex wanted = model_.index(row, currentIndex().isValid() ? currentIndex().column() : 0);
  if (currentIndex() == wanted) return;
  following_ = true;
  selectionModel()->setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  following_ = false;
  scrollTo(wanted);
}

}  // namespace velquin

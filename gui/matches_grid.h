// TMatchesGrid: the grid of pairs. A table view over TMatchesModel whose current row is the
// Matches table's current row, both ways: the table's moves select the grid row, and the user's
// choice of a row moves the table.
#pragma once

#include <QTableView>

#include "gui/matches_model.h"

namespace velquin {

class TMatchesGrid : public QTableView {
  Q_OBJECT

 public:
  // REQUIRES: table outlives this grid.
  explicit TMatchesGrid(TTable& table, QWidget* parent = nullptr);

  TMatchesModel& Model() { return model_; }

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void ShowCurrentRow(int row);

  TMatchesModel model_;
  // True while the grid itself moves its selection to the table's row.
  bool following_ = false;
};

}  // namespace velquin

// TMatchesModel: the Matches table as a Qt table model. Reads rows through the table object
// without moving it (ValueAt) and follows its data-change notifications through a data source of
// its own, so the form's own data source stays as the form set it.
#pragma once

#include <QAbstractTableModel>

#include "tablestore/table.h"

namespace velquin {

class TMatchesModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { ColumnMaxDiff, ColumnFile1, ColumnFile2, ColumnCount };

  // REQUIRES: table outlives this model.
  explicit TMatchesModel(TTable& table, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // The model row of the table's current row; -1 when the table is closed or empty.
  int CurrentRow() const { return currentRow_; }
  // Moves the table's current row to the model row (no move when it is already there).
  void MoveTo(int row);
  // Re-reads the table: row count, current row, all shown values.
  void Refresh();

 signals:
  // After every re-read: the model row of the table's current row, -1 for none.
  void CurrentRowChanged(int row);

 private:
  TTable& table_;
  TDataSource source_;
  int rows_ = 0;
  int currentRow_ = -1;
};

}  // namespace velquin

#include "gui/matches_model.h"

#include <string>

namespace velquin {
namespace {
const char* const kFieldNames[TMatchesModel::ColumnCount] = {"MaxDiff", "File1", "File2"};

QVariant ToVariant(const TFieldValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return QString::fromStdString(*text);
  if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (const auto* date = std::get_if<double>(&value)) return *date;
  return {};
}
}  // namespace

TMatchesModel::TMatchesModel(TTable& table, QObject* parent) : QAbstractTableModel(parent), table_(table) {
  source_.SetDataSet(&table_);
  source_.OnDataChange = [this](std::string_view) { Refresh(); };
  Refresh();
}

int TMatchesModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TMatchesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TMatchesModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_ || index.column() >= ColumnCount)
    return {};
  // A table closed behind the model's back (ClearDBs) shows nothing until the next notification.
  if (!table_.Active()) return {};
  try {
    return ToVariant(table_.ValueAt(index.row() + 1, kFieldNames[index.column()]));
  } catch (const std::exception&) {
    return {};  // the row went away between the count and the read; the next notification re-reads
  }
}

QVariant TMatchesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal)
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kFieldNames[section]) : QVariant();
  return section == currentRow_ ? QStringLiteral("\u25B6") : QString();
}

void TMatchesModel::MoveTo(int row) {
  if (!table_.Active() || row < 0 || row >= rows_ || row == currentRow_) return;
  table_.MoveBy(row + 1 - table_.RecNo());
}

void TMatchesModel::Refresh() {
  const bool active = table_.Active();
  const int rows = active ? table_.RecordCount() : 0;
  const int current = active && rows > 0 ? table_.RecNo() - 1 : -1;
  if (rows != rows_) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
  } else if (rows_ > 0) {
    emit dataChanged(index(0, 0), index(rows_ - 1, ColumnCount - 1));
  }
  const int previous = currentRow_;
  currentRow_ = current;
  if (previous != current) {
    if (previous >= 0 && previous < rows_) emit headerDataChanged(Qt::Vertical, previous, previous);
    if (current >= 0) emit headerDataChanged(Qt::Vertical, current, current);
  }
  // Also when unchanged: a reset has cleared the view's own current index.
  emit CurrentRowChanged(current);
}

}  // namespace velquin

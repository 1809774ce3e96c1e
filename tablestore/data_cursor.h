// TDataCursor: one place in one open table: the active index, the current row and a copy of it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "tablestore/data_table.h"
#include "tablestore/index_file.h"
#include "tablestore/row.h"

namespace velquin::store {

class TDataCursor {
 public:
  using TKey = TDataTable::TKey;

  explicit TDataCursor(TDataTable& table);

  TDataTable& Table() { return table_; }
  std::size_t IndexNumber() const { return index_; }
  // Makes `index` active; the current row stays current.
  void SetIndex(std::size_t index);

  std::uint32_t Count() const { return table_.RowCount(); }
  // True iff there is a current row (false exactly when the table is empty).
  bool HasRow() const { return hasRow_; }
  // 1-based place of the current row in the active index; 0 when empty.
  std::uint32_t RecNo();
  const TRow& Row();
  const TKey& Key() const { return key_; }

  void First();
  void Last();
  // Move one row; false (nothing moves) at either end.
  bool Next();
  bool Prior();
  // Moves to place `recNo` (1-based), clamped to the rows there are.
  void MoveTo(std::uint32_t recNo);
  // Reads the row at place `recNo` (1-based) without moving; false when there is none.
  bool RowAt(std::uint32_t recNo, TRow& row);

  // Unique index: exact search. Non-unique: the first key not less than `key` with a zero record
  // id, equal to it over the fields' width. True moves there; false moves nothing.
  bool Find(const TKey& key);
  // Exact search for a full key (record id included); true moves there.
  bool GotoKey(std::span<const std::uint8_t> key);

  // Row changes; the changed row becomes current.
  void Insert(TRow& row);
  void Update(const TRow& after);
  // Removes the current row: the row after it becomes current, or the new last row.
  void Remove();
  void Empty();

 private:
  void Sync();
  void Take(const TIndexFile::TPosition& position);
  void Clear();

  TDataTable& table_;
  std::size_t index_ = 0;
  bool hasRow_ = false;
  TKey key_;
  std::uint32_t rid_ = 0;
  TIndexFile::TPosition position_;
  TRow row_;
  bool rowLoaded_ = false;
};

}  // namespace velquin::store

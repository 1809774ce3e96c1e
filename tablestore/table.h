// TTable: the table object through which the program reaches one table of the store, and
// TDataSource, the observer that links a table object to views (the grid, the pair display).
//
// A table object holds one current row of one table, moves along its active index, searches
// that index for an exact key, appends, edits and deletes rows, hands out bookmarks, and raises a
// data-change notification to every attached data source after each change of what it shows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tablestore/schema.h"
#include "tablestore/store_exceptions.h"

namespace velquin {

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey };

// Opaque position of a row, valid for the index that was active when it was taken.
struct TBookmark {
  std::vector<std::uint8_t> Key;
};

class TTable;

// Links one table object to views. OnDataChange(field) runs for every data-change notification
// while the table is open; field is empty when the notification names no field.
class TDataSource {
 public:
  TDataSource() = default;
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  void SetDataSet(TTable* table);
  TTable* DataSet() const { return table_; }

  std::function<void(std::string_view field)> OnDataChange;

 private:
  TTable* table_ = nullptr;
};

class TTable {
 public:
  // name: the object's name, prefixed to row-set errors ("SigsTable: ...").
  explicit TTable(std::string name);
  ~TTable();
  TTable(const TTable&) = delete;
  TTable& operator=(const TTable&) = delete;

  const std::string& Name() const { return name_; }

  // Settings; change them only while inactive (IndexName also while open).
  std::string DatabaseName;  // the folder, ending in '/'
  std::string TableName;     // "Sigs.Dat": files Sigs.DAT and Sigs.IDX, "Sigs" in messages
  bool Exclusive = true;
  bool ReadOnly = false;
  bool AutoDisplayLabels = false;
  bool CopyOnAppend = false;
  std::vector<TFieldDef> FieldDefs;
  std::vector<TIndexDef> IndexDefs;

  // Table-level operations.
  bool Exists() const;
  void CreateTable();
  // REQUIRES: inactive. Returns true iff nothing had to be repaired. A data file header of the
  // current format that cannot be read is made again from FieldDefs and IndexDefs (when set),
  // keeping the rows.
  bool CheckAndRepair(bool forceIndexRebuild);
  // Gives the stored table's text fields the larger Size that FieldDefs holds for a field of the
  // same name and type, and appends the fields of FieldDefs it lacks, null in every row (no field is
  // removed, narrowed or moved); every row is kept. Returns true iff anything changed.
  // REQUIRES: inactive.
  bool UpgradeFields();
  // Opens the files; FieldDefs and IndexDefs then hold the definitions the files carry.
  void Open();
  void Close();
  // Makes every change posted so far survive a power loss (tablestore/durability.h): called where
  // a command's changes are complete. Nothing happens when inactive or read-only.
  void Sync();
  void EmptyTable();
  bool Active() const;
  bool OpenedReadOnly() const;

  // Row set.
  TDataSetState State() const;
  void First();
  // Last row of the active index current; EOF true, BOF true only when the table is empty.
  void Last();
  void Next();
  void Prior();
  // Moves |distance| rows along the active index (negative: back), stopping at either end,
  // with one data-change notification.
  void MoveBy(std::int32_t distance);
  bool Bof() const;
  bool Eof() const;
  std::int32_t RecordCount() const;
  std::int32_t RecNo() const;  // 1-based place of the current row in the active index; 0 when empty

  // Field access by name, found without regard to case.
  TFieldValue FieldValue(std::string_view field) const;
  void SetFieldValue(std::string_view field, const TFieldValue& value);
  std::string FieldAsString(std::string_view field) const;    // "" for null
  std::int32_t FieldAsInteger(std::string_view field) const;  // 0 for null
  double FieldAsDateTime(std::string_view field) const;       // 0 for null
  // A string field's value without a copy, for reading many rows: valid until the table object
  // moves, changes or closes. Empty for null.
  std::string_view FieldText(std::string_view field) const;
  // The field's place in FieldDefs, found without regard to case.
  std::size_t FieldNumber(std::string_view field) const;
  // Reads every row once, in the order the data file holds them, in long sequential reads that
  // leave the store's cached pages as they are: visit(values) with the row's values in the order
  // of FieldDefs. Returns for each place of the active index the number, in the order visited, of
  // its row. The current row does not move; nothing is notified. REQUIRES: visit changes nothing
  // in this table.
  std::vector<std::uint32_t> ReadEveryRow(const std::function<void(const std::vector<TFieldValue>&)>& visit);
  // The longest text, in bytes, the string field takes: a longer one is refused, never cut.
  int FieldSize(std::string_view field) const;
  // Reads a field of the row at place recNo (1-based) of the active index without moving the
  // current row and without notifications: what a grid needs to show rows other than the current.
  TFieldValue ValueAt(std::int32_t recNo, std::string_view field) const;

  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();

  void SetKey();
  bool GotoKey();

  std::string IndexName() const;
  void SetIndexName(const std::string& name);

  TBookmark GetBookmark() const;
  void GotoBookmark(const TBookmark& bookmark);
  void FreeBookmark(TBookmark& bookmark);

  // Counted: notifications pass on only while no suspension is open; the last resume raises one.
  void SuspendNotifications();
  void ResumeNotifications();
  bool NotificationsSuspended() const;

 private:
  friend class TDataSource;
  struct Impl;
  // The value field number shows in the current state: the pending row's, the key buffer's or the
  // current row's.
  const TFieldValue& ShownValue(std::size_t number) const;
  std::string name_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace velquin

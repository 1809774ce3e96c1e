// TDataTable: one open table: its data and index files, the key encoding, and every change of
// rows together with their keys.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "tablestore/data_directory.h"
#include "tablestore/data_file.h"
#include "tablestore/index_file.h"
#include "tablestore/physical_file.h"
#include "tablestore/row.h"
#include "tablestore/schema.h"

namespace velquin::store {

// The definitions a program opens a table with: what a damaged data file header is made again from.
struct TTableDefs {
  std::vector<TFieldDef> Fields;
  std::vector<TIndexDef> Indexes;
};

class TDataTable {
 public:
  using TKey = TIndexFile::TKey;

  // Returns true iff the data file of `tableName` exists in `directory`.
  static bool Exists(const TDataDirectory& directory, const std::string& tableName);
  // Validates the definitions and writes both files. The primary index goes first.
  static void Create(const TDataDirectory& directory, const std::string& tableName,
                     const std::vector<TFieldDef>& fields, const std::vector<TIndexDef>& indexes);
  // What Create does, under the name StagedName(base), with the files flushed: a new table, or the
  // table a conversion writes anew, is filled there and then renamed into place by PublishStaged.
  static void CreateStaged(const TDataDirectory& directory, const std::string& tableName,
                           const std::vector<TFieldDef>& fields, const std::vector<TIndexDef>& indexes);
  // Puts the files of StagedName(base) in the place of the table's own, in steps that leave a
  // table that opens after a power loss at any moment (durability.h).
  static void PublishStaged(const TDataDirectory& directory, const std::string& base);
  static std::string StagedName(const std::string& base) { return base + "-new"; }

  // Gives the text fields of the stored table the larger Size of the field of the same name and
  // type in `wanted`, and appends the fields of `wanted` it lacks (null in every row), keeping every
  // row. Returns true iff anything changed.
  static bool UpgradeFields(const TDataDirectory& directory, const std::string& tableName,
                            const std::vector<TFieldDef>& wanted);

  // Opens both files, writable unless `readOnly` or the files refuse writing. When writable: trees
  // left unfinished by a crash are rebuilt on the spot; a data file header of the current version
  // that cannot be read is written again from `rebuildFrom` (when given) and its rows kept; a
  // table whose data file is mostly free space is compacted (rewritten whole, every row kept).
  TDataTable(const TDataDirectory& directory, const std::string& tableName, bool readOnly,
             const TTableDefs* rebuildFrom = nullptr);
  ~TDataTable();
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  // Verifies every slot and tree; repairs slots, rebuilds the trees when forced or when they
  // disagree with the rows, deleting rows whose key collides in a unique index. Returns true iff
  // nothing had to be repaired. REQUIRES: Writable().
  bool CheckAndRepair(bool forceIndexRebuild);
  // Closes the files, marking the trees finished when every change completed. A sync point.
  void Close();
  // A sync point: every change so far survives a power loss (durability.h).
  void Sync();

  const std::string& Name() const { return name_; }
  bool Writable() const { return dataFile_.Writable(); }
  const std::vector<TFieldDef>& Fields() const { return data_.Fields(); }
  // Returns the field's number, found without regard to case, or -1.
  int FieldNumber(std::string_view name) const;
  std::size_t IndexCount() const { return index_.Indexes().size(); }
  const TIndexFile::TIndexInfo& Index(std::size_t index) const { return index_.Indexes()[index]; }
  bool IsUnique(std::size_t index) const;
  // Returns the index whose name matches without regard to case (empty: the primary), or -1.
  int IndexNumber(std::string_view name) const;
  std::uint32_t RowCount() const { return data_.LiveRows(); }

  TFieldValue Normalize(std::size_t field, const TFieldValue& value) const {
    return data_.Normalize(field, value);
  }
  // The key of `values` in `index`; the record id part (non-unique indexes) from `rid`.
  TKey BuildKey(std::size_t index, const std::vector<TFieldValue>& values, std::uint32_t rid) const;
  // The key's width without its record id part.
  std::size_t FieldsPart(std::size_t index, std::span<const std::uint8_t> key) const;

  TIndexFile& Trees() { return index_; }
  void Read(std::uint32_t rid, TRow& row) const { data_.Read(rid, row); }
  // Calls `visit` for every row, in the order of the data file (TDataFile::ForEach), and returns
  // for each place of `index` the number of its row in the order visited. REQUIRES: `visit`
  // changes nothing in this table.
  std::vector<std::uint32_t> ReadEveryRow(std::size_t index, const std::function<void(const TRow&)>& visit);
  // Each throws error 9729, changing nothing, when a unique key would repeat.
  void Insert(TRow& row);
  void Update(const TRow& before, const TRow& after);
  void Remove(std::uint32_t rid);
  void Empty();

 private:
  void RequireWritable() const;
  void CheckUnique(const std::vector<TFieldValue>& values, std::uint32_t rid);
  void BeginChange();
  // Counts a change that completed; a sync point when the policy asks for one.
  void EndChange();
  void RebuildTrees();
  void OpenFiles(const TDataDirectory& directory, bool readOnly, const TTableDefs* rebuildFrom);
  // Validates definitions for table `base` and gives them in the form the files store.
  static void Compile(const std::string& base, const std::vector<TFieldDef>& fields,
                      const std::vector<TIndexDef>& indexes, std::vector<TFieldDef>& defs,
                      std::vector<TIndexFile::TIndexInfo>& infos);

  std::string name_;
  TPhysicalFile dataFile_;
  TPhysicalFile indexFile_;
  TDataFile data_;
  TIndexFile index_;
  bool broken_ = false;          // a change failed half-way: the trees stay marked unfinished
  bool repairedOnOpen_ = false;  // the open repaired slots or rebuilt the trees
  bool changedSinceOpen_ = false;
  bool checked_ = false;  // CheckAndRepair ran and nothing changed since
  std::uint32_t changesSinceSync_ = 0;
  std::chrono::steady_clock::time_point lastSync_ = std::chrono::steady_clock::now();
};

}  // namespace velquin::store

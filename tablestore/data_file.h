// TDataFile: the data file (.DAT) of a table: the field definitions and the rows.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "tablestore/index_file.h"
#include "tablestore/physical_file.h"
#include "tablestore/row.h"
#include "tablestore/schema.h"

namespace velquin::store {

class TDataFile {
 public:
  // What a scan of every row found.
  struct TScan {
    std::uint32_t LiveRows = 0;
    bool Repaired = false;         // a row was damaged, duplicated or given a new record id
    std::uint32_t WholeRuns = 0;   // live or deleted rows that read whole
    std::uint32_t StrayUnits = 0;  // units that are neither free nor part of a whole row
  };

  // Writes the header of a new, empty data file, with a copy of the index definitions.
  // REQUIRES: `fields` and `indexes` validated.
  static void Create(TPhysicalFile& file, const std::vector<TFieldDef>& fields,
                     const std::vector<TIndexFile::TIndexInfo>& indexes);

  // Reads and verifies the header of `file`, which stays owned by the caller.
  void Attach(TPhysicalFile& file, const std::string& table);
  // Writes over the damaged header of `file` the header a table made with `fields` and `indexes`
  // has, when the file is empty, or is of the current version (or too short to tell), shows itself
  // a data file (its magic all but intact, or whole rows) and its rows read as rows of those
  // definitions. Returns false, writing nothing, otherwise. Attach the file afterwards.
  bool RebuildHeader(TPhysicalFile& file, const std::string& table, const std::vector<TFieldDef>& fields,
                     const std::vector<TIndexFile::TIndexInfo>& indexes);
  // Reads every row: rebuilds the record-id map, the free space and the next record id. With
  // `repair`, writes back what it settles (torn or duplicated rows freed, new record ids, a
  // trailing partial unit cut off).
  TScan Scan(bool repair);

  // What a scan learns, to be handed to the next open of unchanged files instead of scanning
  // them again.
  struct TSlotMap {
    // Where a row lies: its run of units, and its generation.
    struct TSlotRef {
      std::uint32_t Unit;
      std::uint32_t Units;
      std::uint32_t Generation;
    };
    std::unordered_map<std::uint32_t, TSlotRef> SlotOf;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> FreeRuns;  // first unit, units
    std::uint32_t NextRid = 1;
    std::uint32_t UnitEnd = 0;
  };
  TSlotMap SlotMap() const;
  // REQUIRES: `map` came from a scan of this very file, unchanged since.
  void AdoptSlotMap(TSlotMap map);

  // The format version of the attached file: older versions are only read, to be converted.
  std::uint32_t Version() const { return version_; }
  static std::uint32_t CurrentVersion();
  const std::vector<TFieldDef>& Fields() const { return fields_; }
  // The copy of the index definitions (roots and depths not set).
  const std::vector<TIndexFile::TIndexInfo>& IndexCopies() const { return indexes_; }
  std::uint32_t LiveRows() const { return static_cast<std::uint32_t>(slotOf_.size()); }
  bool Contains(std::uint32_t rid) const { return slotOf_.count(rid) != 0; }
  // The bytes after the header, and those of them that hold no row.
  std::uint64_t RowAreaBytes() const { return std::uint64_t{unitEnd_} * unitSize_; }
  std::uint64_t FreeBytes() const;

  // Normalises `value` for field `field`: texts end at their first NUL (empty becomes null),
  // date-times are rounded to the millisecond. Throws error 9493 for a text longer than the
  // field's Size, EDatabaseError when the value cannot be converted.
  TFieldValue Normalize(std::size_t field, const TFieldValue& value) const;

  // REQUIRES: Contains(rid).
  void Read(std::uint32_t rid, TRow& row) const;
  // Stores `row` under a new record id, written into `row.Rid`.
  void Insert(TRow& row);
  // Replaces the stored row `row.Rid`: the new version goes to other units before the old
  // one is released, so a crash leaves one whole version.
  void Update(const TRow& row);
  void Remove(std::uint32_t rid);
  // Removes every row; record ids keep rising. A sync point.
  void Empty();
  // A sync point: makes every change so far durable, then marks the versions that changes
  // replaced deleted and lets later rows reuse the units freed since the last one.
  void Sync();
  // True when the room freed since the last sync point, which waits for the next one, is large
  // enough that the file would grow noticeably instead of reusing it.
  bool MuchRoomWaiting() const;
  // Calls `visit` for every live row in file order, as Read gives it. The file is read front to
  // back in long reads of its own that leave the block cache as it is: a walk of every row costs a
  // copy of the file at any size, and the blocks cached for other reads stay. REQUIRES: `visit`
  // changes nothing in this file.
  void ForEach(const std::function<void(const TRow&)>& visit) const;

 private:
  using TSlotRef = TSlotMap::TSlotRef;

  std::uint64_t UnitOffset(std::uint32_t unit) const { return headerSize_ + std::uint64_t{unit} * unitSize_; }
  std::uint32_t UnitCount() const;
  static std::vector<std::uint8_t> HeaderFor(const std::vector<TFieldDef>& fields,
                                             const std::vector<TIndexFile::TIndexInfo>& indexes);
  // Takes the field and index definitions and the layout from the header bytes `header`.
  void DecodeHeader(std::vector<std::uint8_t> header);
  void WriteHeader();
  // The units of a row's run, `row` stored under `generation`.
  void Encode(const TRow& row, std::uint32_t generation, std::vector<std::uint8_t>& out) const;
  // Takes the payload out of the run at `run` (`units` units) into payload_.
  void GatherPayload(const std::uint8_t* run, std::uint32_t units) const;
  // Decodes payload_ into `row`; returns false when the payload is not well formed.
  bool DecodePayload(TRow& row) const;
  // Returns true iff the `units` units at `run` hold a whole row (its checksum and payload),
  // which is then decoded into `row`.
  bool WholeRun(const std::uint8_t* run, std::uint32_t units, TRow& row) const;
  void ReadBytes(std::uint64_t offset, std::uint8_t* out, std::size_t length) const;
  void WriteBytes(std::uint64_t offset, const std::uint8_t* data, std::size_t length);
  // Free space: runs of units kept by first unit and by length, for best fit and coalescing.
  std::uint32_t AllocateRun(std::uint32_t units);
  void ReleaseRun(std::uint32_t unit, std::uint32_t units);
  void ClearFreeRuns();
  // Writes a row's units to a free run and returns its first unit; on failure the run stays free.
  std::uint32_t WriteToFreeRun(const std::vector<std::uint8_t>& bytes);
  void MarkDeleted(std::uint32_t unit);

  TPhysicalFile* file_ = nullptr;
  std::string table_;
  std::vector<TFieldDef> fields_;
  std::vector<TIndexFile::TIndexInfo> indexes_;
  std::uint32_t version_ = 0;
  std::uint32_t headerSize_ = 0;
  std::uint32_t unitSize_ = 0;     // version 1: the fixed slot size
  std::uint32_t maxRunUnits_ = 0;  // the units of the longest row the fields allow
  std::uint32_t ridFloor_ = 1;
  std::uint32_t nextRid_ = 1;
  std::unordered_map<std::uint32_t, TSlotRef> slotOf_;
  std::map<std::uint32_t, std::uint32_t> freeByUnit_;               // first unit -> units
  std::set<std::pair<std::uint32_t, std::uint32_t>> freeByLength_;  // (units, first unit)
  std::uint32_t unitEnd_ = 0;  // units in use or freed: the file holds units [0, unitEnd_)
  // Since the last sync point: the old versions of changed rows, still marked live (record id and
  // place), and the runs freed, which no row may take before the next sync point.
  std::vector<std::pair<std::uint32_t, TSlotRef>> replaced_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> released_;
  std::uint64_t releasedUnits_ = 0;
  // Read cache of whole blocks of the file; every write goes through it to the file.
  mutable std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> blocks_;
  mutable std::size_t cachedBytes_ = 0;
  mutable std::vector<std::uint8_t> scratch_;  // one run's bytes while it is decoded
  mutable std::vector<std::uint8_t> payload_;  // one row's payload while it is coded
};

}  // namespace velquin::store

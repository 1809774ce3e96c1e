// TDataFile: the data file (.DAT) of a table: the field definitions and the row slots.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tablestore/index_file.h"
#include "tablestore/physical_file.h"
#include "tablestore/row.h"
#include "tablestore/table.h"

namespace velquin::store {

class TDataFile {
 public:
  // What a scan of every slot found.
  struct TScan {
    std::uint32_t LiveRows = 0;
    bool Repaired = false;  // a slot was damaged, duplicated or given a new record id
  };

  // Writes the header of a new, empty data file, with a copy of the index definitions.
  // REQUIRES: `fields` and `indexes` validated.
  static void Create(TPhysicalFile& file, const std::vector<TFieldDef>& fields,
                     const std::vector<TIndexFile::TIndexInfo>& indexes);

  // Reads and verifies the header of `file`, which stays owned by the caller.
  void Attach(TPhysicalFile& file, const std::string& table);
  // Reads every slot: rebuilds the record-id map, the free slots and the next record id. With
  // `repair`, writes back what it settles (torn or duplicated slots freed, new record ids, a
  // trailing partial slot cut off).
  TScan Scan(bool repair);

  // What a scan learns, to be handed to the next open of unchanged files instead of scanning
  // them again.
  struct TSlotMap {
    struct TSlotRef {
      std::uint32_t Slot;
      std::uint32_t Generation;
    };
    std::unordered_map<std::uint32_t, TSlotRef> SlotOf;
    std::vector<std::uint32_t> FreeSlots;
    std::uint32_t NextRid = 1;
    std::uint32_t SlotEnd = 0;
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

  // Normalises `value` for field `field`: texts end at their first NUL (empty becomes null),
  // date-times are rounded to the millisecond. Throws error 9493 for a text longer than the
  // field's Size, EDatabaseError when the value cannot be converted.
  TFieldValue Normalize(std::size_t field, const TFieldValue& value) const;

  // REQUIRES: Contains(rid).
  void Read(std::uint32_t rid, TRow& row) const;
  // Stores `row` under a new record id, written into `row.Rid`.
  void Insert(TRow& row);
  // Replaces the stored row `row.Rid`: the new version goes to another slot before the old
  // one is released, so a crash leaves one whole version.
  void Update(const TRow& row);
  void Remove(std::uint32_t rid);
  // Removes every row; record ids keep rising.
  void Empty();
  // Calls `visit` for every live row in slot order.
  void ForEach(const std::function<void(const TRow&)>& visit) const;

 private:
  std::uint64_t SlotOffset(std::uint32_t slot) const { return headerSize_ + std::uint64_t{slot} * slotSize_; }
  std::uint32_t SlotCount() const;
  void WriteHeader();
  void Encode(const TRow& row, std::uint32_t generation, std::vector<std::uint8_t>& out) const;
  // Returns true iff every value of the slot is well formed.
  bool Valid(const std::uint8_t* slot) const;
  bool Decode(const std::uint8_t* slot, TRow& row) const;
  void ReadBytes(std::uint64_t offset, std::uint8_t* out, std::size_t length) const;
  void WriteBytes(std::uint64_t offset, const std::uint8_t* data, std::size_t length);
  // Writes a slot's bytes to a free slot and returns it; on failure the slot stays free.
  std::uint32_t WriteToFreeSlot(const std::vector<std::uint8_t>& bytes);

  TPhysicalFile* file_ = nullptr;
  std::string table_;
  std::vector<TFieldDef> fields_;
  std::vector<TIndexFile::TIndexInfo> indexes_;
  std::vector<std::uint32_t> valueOffset_;  // per field, inside the slot
  std::uint32_t version_ = 0;
  std::uint32_t headerSize_ = 0;
  std::uint32_t slotSize_ = 0;
  std::uint32_t ridFloor_ = 1;
  std::uint32_t nextRid_ = 1;
  using TSlotRef = TSlotMap::TSlotRef;
  std::unordered_map<std::uint32_t, TSlotRef> slotOf_;
  std::vector<std::uint32_t> freeSlots_;
  std::uint32_t slotEnd_ = 0;  // slots in use or freed: the file holds slots [0, slotEnd_)
  // Read cache of whole blocks of the file; every write goes through it to the file.
  mutable std::unordered_map<std::uint64_t, std::vector<std::uint8_t>> blocks_;
  mutable std::size_t cachedBytes_ = 0;
  mutable std::vector<std::uint8_t> scratch_;  // one slot's bytes while it is decoded
};

}  // namespace velquin::store

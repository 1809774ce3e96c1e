// The data file (.DAT) of a table.
//
// Header, at offset 0 (all integers little-endian):
//   offset  size  content
//   0       8     kDataMagic "VQTBLDAT"
//   8       4     format version: kDataVersion; version 1 files are read only to be converted
//   12      4     header size in bytes, a multiple of kHeaderAlign; the rows start there
//   16      4     unit size in bytes: kUnitSize (version 1: the size of its fixed row slots)
//   20      4     field count n, 1..kMaxFields
//   24      4     record id floor: every record id given from now on is at least this
//   28      4     Checksum32 of the header bytes with this field taken as 0
//   32      4     index count m, 1..kMaxIndexes
//   36      28    zero
//   64      36*n  field definitions: name (32 bytes, NUL-padded), type (1 byte: 0 text,
//                 1 integer, 2 date-time), required (1 byte), Size (2 bytes)
//   64+36n  72*m  a copy of the index definitions, from which a lost or unreadable index file
//                 is made again: name (32 bytes, NUL-padded), options (1), field count f (1,
//                 1..kMaxIndexFields), zero (2), field numbers (16 x 2 bytes)
//
// Rows, after the header, each in a run of k whole units of kUnitSize bytes. A run's first unit:
//   0       1     state: kRunUnused (never written), kRunLive, kRunDeleted
//   1       3     k, the units of the run, 1..2^24-1
//   4       4     Checksum32 of bytes 8 .. 32k of the run
//   8       4     record id, 1..kMaxRid
//   12      4     generation: rises with every rewrite of the row
//   16      16    the first bytes of the payload
// and each of its other units:
//   0       1     kRunContinues
//   1       31    the next bytes of the payload
// The payload: a null map, b = (n + 7) / 8 bytes, bit i set when field i has a value, then the
// values present, in field order, back to back: text = length (2 bytes) + its bytes; integer =
// 4 bytes; date-time = 8-byte IEEE double, milliseconds since the first day of year 1; then
// zeros to the run's end. Units left free hold what they held; a scan walks them one at a time.
// Since every unit a row writes starts with its state or kRunContinues, no byte of a stored
// text stands where a scan after a crash could take it for the start of a row.
//
// Version 1 (read to be converted): fixed slots of the header's unit size, a run of one each,
// bytes 1..3 zero, every value at a fixed place whether present or not, a text as its length
// (1 byte) and Size bytes.
//
// A row is written whole into free units (an insert, and an update into other units) before any
// other change refers to it; deleting a row writes its state byte alone. So after a crash every
// run is one whole row, or fails its checksum and held no row whose write had returned. Two live
// runs with one record id are two versions of a changed row: the higher generation wins. The old
// version of a changed row is marked deleted, and freed units are reused, only after a sync point
// (durability.h), so a power loss never leaves a row without a whole version.
#include "tablestore/data_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "tablestore/checksum.h"
#include "tablestore/coding.h"
#include "tablestore/store_error_codes.h"
#include "tablestore/store_limits.h"

namespace velquin::store {
namespace {

constexpr char kDataMagic[8] = {'V', 'Q', 'T', 'B', 'L', 'D', 'A', 'T'};
constexpr std::uint32_t kDataVersion = 2;
constexpr std::uint32_t kHeaderAlign = 512;
constexpr std::uint32_t kFieldDefSize = 36;
constexpr std::uint32_t kFieldDefsAt = 64;
constexpr std::uint32_t kIndexCopySize = 72;
constexpr std::uint32_t kMaxHeaderSize = 65536;

// The header's fields.
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kHeaderSizeAt = 12;
constexpr std::size_t kUnitSizeAt = 16;
constexpr std::size_t kFieldCountAt = 20;
constexpr std::size_t kRidFloorAt = 24;
constexpr std::size_t kHeaderChecksumAt = 28;
constexpr std::size_t kIndexCountAt = 32;
// A field definition's and an index copy's fields.
constexpr std::size_t kDefNameBytes = 32;
constexpr std::size_t kDefTypeAt = 32;
constexpr std::size_t kDefRequiredAt = 33;
constexpr std::size_t kDefSizeAt = 34;
constexpr std::size_t kCopyOptionsAt = 32;
constexpr std::size_t kCopyFieldCountAt = 33;
constexpr std::size_t kCopyFieldsAt = 36;

constexpr std::uint32_t kUnitSize = 32;
constexpr std::uint32_t kRunHeader = 16;
// A run's first unit.
constexpr std::size_t kStateAt = 0;
constexpr std::size_t kRunChecksumAt = 4;
constexpr std::size_t kRidAt = 8;
constexpr std::size_t kGenerationAt = 12;
constexpr std::uint8_t kRunUnused = 0;
constexpr std::uint8_t kRunLive = 1;
constexpr std::uint8_t kRunDeleted = 2;
constexpr std::uint8_t kRunContinues = 0x80;
constexpr std::uint32_t kMaxUnits = 0xFFFFFFF0u;

constexpr std::uint32_t kMaxRid = 0x7FFFFFFE;
constexpr std::uint64_t kBlockSize = 65536;
constexpr std::size_t kMaxCachedBytes = 64u << 20;
// The bytes a walk of every row reads at a time: long enough that a read costs little beside the
// copy, short enough that the bytes are still in the processor's cache when the rows are decoded.
constexpr std::size_t kWalkReadBytes = 256u << 10;
// The bytes the scan of the whole file at open reads at a time.
constexpr std::size_t kScanReadBytes = 1u << 20;

// A data file's units read a long stretch at a time, past the block cache, for the walks that read the
// whole file front to back: a run that crosses a stretch's end starts the next stretch.
class TUnitStretches {
 public:
  TUnitStretches(const TPhysicalFile& file, std::uint64_t unitsAt, std::uint32_t unitSize,
                 std::uint32_t unitEnd, std::size_t stretchBytes)
      : file_(file),
        unitsAt_(unitsAt),
        unitSize_(unitSize),
        unitEnd_(unitEnd),
        perStretch_(std::max<std::uint32_t>(1, static_cast<std::uint32_t>(stretchBytes / unitSize))) {}

  // The units [first, first + units). REQUIRES: first + units <= unitEnd.
  const std::uint8_t* View(std::uint32_t first, std::uint32_t units) {
    if (first < first_ || first + units > first_ + units_) {
      first_ = first;
      units_ = std::min(unitEnd_ - first, std::max(perStretch_, units));
      bytes_.resize(std::size_t{units_} * unitSize_);
      file_.ReadAt(unitsAt_ + std::uint64_t{first} * unitSize_, bytes_.data(), bytes_.size());
    }
    return &bytes_[std::size_t{first - first_} * unitSize_];
  }
  std::uint32_t UnitsPerStretch() const { return perStretch_; }

 private:
  const TPhysicalFile& file_;
  const std::uint64_t unitsAt_;
  const std::uint32_t unitSize_;
  const std::uint32_t unitEnd_;
  const std::uint32_t perStretch_;
  std::vector<std::uint8_t> bytes_;
  std::uint32_t first_ = 0;
  std::uint32_t units_ = 0;
};

// The state and the run length share the first four bytes: state | units << 8.
std::uint32_t RunUnits(const std::uint8_t* run) { return Get32(run) >> 8; }
void PutStateAndUnits(std::uint8_t* run, std::uint8_t state, std::uint32_t units) {
  Put32(run, state | units << 8);
}

// The units of a run whose payload is `payload` bytes.
std::uint32_t UnitsFor(std::size_t payload) {
  constexpr std::size_t first = kUnitSize - kRunHeader;
  constexpr std::size_t more = kUnitSize - 1;
  return payload <= first ? 1 : static_cast<std::uint32_t>(1 + (payload - first + more - 1) / more);
}

// The bytes a value of `field` takes in a version-1 slot, present or not.
std::uint32_t FixedValueSize(const TFieldDef& field) {
  switch (field.DataType) {
    case TFieldType::ftString:
      return 1 + static_cast<std::uint32_t>(field.Size);
    case TFieldType::ftInteger:
      return 4;
    case TFieldType::ftDateTime:
      return 8;
  }
  return 0;
}

// The most bytes a value of `field` takes in a payload.
std::uint32_t MaxValueSize(const TFieldDef& field) {
  return field.DataType == TFieldType::ftString ? 2 + static_cast<std::uint32_t>(field.Size)
                                                : FixedValueSize(field);
}

std::uint32_t NullMapBytes(std::size_t fields) { return static_cast<std::uint32_t>((fields + 7) / 8); }

// Newer of two generations, allowing for wrap-around.
bool Newer(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) > 0; }

}  // namespace

std::vector<std::uint8_t> TDataFile::HeaderFor(const std::vector<TFieldDef>& fields,
                                               const std::vector<TIndexFile::TIndexInfo>& indexes) {
  std::uint32_t indexesAt = kFieldDefsAt + kFieldDefSize * static_cast<std::uint32_t>(fields.size());
  std::uint32_t headerSize =
      (indexesAt + kIndexCopySize * static_cast<std::uint32_t>(indexes.size()) + kHeaderAlign - 1) /
      kHeaderAlign * kHeaderAlign;
  std::vector<std::uint8_t> header(headerSize, 0);
  std::memcpy(header.data(), kDataMagic, 8);
  Put32(&header[kVersionAt], kDataVersion);
  Put32(&header[kHeaderSizeAt], headerSize);
  Put32(&header[kUnitSizeAt], kUnitSize);
  Put32(&header[kFieldCountAt], static_cast<std::uint32_t>(fields.size()));
  Put32(&header[kRidFloorAt], 1);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::uint8_t* def = &header[kFieldDefsAt + kFieldDefSize * i];
    std::memcpy(def, fields[i].Name.data(), std::min(fields[i].Name.size(), kDefNameBytes - 1));
    def[kDefTypeAt] = static_cast<std::uint8_t>(fields[i].DataType);
    def[kDefRequiredAt] = fields[i].Required ? 1 : 0;
    Put16(def + kDefSizeAt, static_cast<std::uint32_t>(fields[i].Size));
  }
  Put32(&header[kIndexCountAt], static_cast<std::uint32_t>(indexes.size()));
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    std::uint8_t* def = &header[indexesAt + kIndexCopySize * i];
    std::memcpy(def, indexes[i].Name.data(), std::min(indexes[i].Name.size(), kDefNameBytes - 1));
    def[kCopyOptionsAt] = indexes[i].Options;
    def[kCopyFieldCountAt] = static_cast<std::uint8_t>(indexes[i].Fields.size());
    for (std::size_t f = 0; f < indexes[i].Fields.size(); ++f)
      Put16(def + kCopyFieldsAt + 2 * f, indexes[i].Fields[f]);
  }
  Put32(&header[kHeaderChecksumAt], Checksum32(header.data(), header.size()));
  return header;
}

void TDataFile::Create(TPhysicalFile& file, const std::vector<TFieldDef>& fields,
                       const std::vector<TIndexFile::TIndexInfo>& indexes) {
  const std::vector<std::uint8_t> header = HeaderFor(fields, indexes);
  file.WriteAt(0, header.data(), header.size());
}

bool TDataFile::RebuildHeader(TPhysicalFile& file, const std::string& table,
                              const std::vector<TFieldDef>& fields,
                              const std::vector<TIndexFile::TIndexInfo>& indexes) {
  std::uint8_t fixed[kVersionAt + 4] = {};
  file.ReadAt(0, fixed, static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), sizeof fixed)));
  const std::uint32_t stored = Get32(fixed + kVersionAt);
  // An older table is only ever converted, and a newer one is not this program's to rewrite.
  if (file.Size() >= sizeof fixed && (stored == 1 || stored > kDataVersion)) return false;
  // A file that is neither empty, nor begins with the magic but for a byte or two, nor holds a row
  // is something else, and is left as it is.
  int magicBytes = 0;
  for (std::size_t i = 0; i < sizeof kDataMagic; ++i) magicBytes += fixed[i] == kDataMagic[i] ? 1 : 0;
  bool isTable = file.Size() == 0 || magicBytes + 2 >= static_cast<int>(sizeof kDataMagic);
  const std::vector<std::uint8_t> header = HeaderFor(fields, indexes);
  file_ = &file;
  table_ = table;
  blocks_.clear();
  cachedBytes_ = 0;
  DecodeHeader(header);
  if (file.Size() > header.size()) {
    // The rows must read as rows of these definitions: a body of another layout (a table made
    // with other fields, or an older version whose version field was hit) is left alone.
    const TScan probe = Scan(false);
    if (probe.WholeRuns == 0 && probe.StrayUnits > 0) return false;
    isTable = isTable || probe.WholeRuns > 0;
  }
  if (!isTable) return false;
  file.WriteAt(0, header.data(), header.size());
  return true;
}

std::uint32_t TDataFile::CurrentVersion() { return kDataVersion; }

void TDataFile::Attach(TPhysicalFile& file, const std::string& table) {
  file_ = &file;
  table_ = table;
  blocks_.clear();
  cachedBytes_ = 0;
  auto damaged = [&] { return StoreError(kErrDamaged, {table_}); };
  if (file.Size() < kFieldDefsAt) throw damaged();
  std::uint8_t fixed[kFieldDefsAt];
  file.ReadAt(0, fixed, kFieldDefsAt);
  if (std::memcmp(fixed, kDataMagic, 8) != 0) throw damaged();
  if (Get32(fixed + kVersionAt) > kDataVersion) throw StoreError(kErrNewerFormat, {table_});
  const std::uint32_t headerSize = Get32(fixed + kHeaderSizeAt);
  if (headerSize % kHeaderAlign != 0 || headerSize > kMaxHeaderSize || headerSize < kFieldDefsAt ||
      headerSize > file.Size()) {
    throw damaged();
  }
  std::vector<std::uint8_t> header(headerSize);
  file.ReadAt(0, header.data(), headerSize);
  DecodeHeader(header);
}

void TDataFile::DecodeHeader(std::vector<std::uint8_t> header) {
  slotOf_.clear();
  ClearFreeRuns();
  auto damaged = [&] { return StoreError(kErrDamaged, {table_}); };
  const std::uint32_t version = Get32(&header[kVersionAt]);
  if (version == 0) throw damaged();
  const auto headerSize = static_cast<std::uint32_t>(header.size());
  std::uint32_t fieldCount = Get32(&header[kFieldCountAt]);
  std::uint32_t indexCount = Get32(&header[kIndexCountAt]);
  std::uint32_t indexesAt = kFieldDefsAt + kFieldDefSize * fieldCount;
  if (fieldCount == 0 || fieldCount > kMaxFields || indexCount == 0 || indexCount > kMaxIndexes ||
      headerSize < indexesAt + kIndexCopySize * indexCount) {
    throw damaged();
  }
  std::uint32_t stored = Get32(&header[kHeaderChecksumAt]);
  Put32(&header[kHeaderChecksumAt], 0);
  if (!ChecksumAccepted(stored, Checksum32(header.data(), header.size()))) throw damaged();
  fields_.clear();
  std::uint32_t fixedSlotSize = kRunHeader + NullMapBytes(fieldCount);
  std::uint32_t maxPayload = NullMapBytes(fieldCount);
  for (std::uint32_t i = 0; i < fieldCount; ++i) {
    const std::uint8_t* def = &header[kFieldDefsAt + kFieldDefSize * i];
    TFieldDef field;
    field.Name.assign(reinterpret_cast<const char*>(def),
                      strnlen(reinterpret_cast<const char*>(def), kDefNameBytes));
    if (def[kDefTypeAt] > 2) throw damaged();
    field.DataType = static_cast<TFieldType>(def[kDefTypeAt]);
    field.Required = def[kDefRequiredAt] != 0;
    field.Size = Get16(def + kDefSizeAt);
    const std::size_t maxSize = version == 1 ? 250 : kMaxTextSize;
    if (field.DataType == TFieldType::ftString &&
        (field.Size < 1 || static_cast<std::size_t>(field.Size) > maxSize)) {
      throw damaged();
    }
    fixedSlotSize += FixedValueSize(field);
    maxPayload += MaxValueSize(field);
    fields_.push_back(std::move(field));
  }
  if (Get32(&header[kUnitSizeAt]) != (version == 1 ? fixedSlotSize : kUnitSize)) throw damaged();
  indexes_.clear();
  for (std::uint32_t i = 0; i < indexCount; ++i) {
    const std::uint8_t* def = &header[indexesAt + kIndexCopySize * i];
    TIndexFile::TIndexInfo info;
    info.Name.assign(reinterpret_cast<const char*>(def),
                     strnlen(reinterpret_cast<const char*>(def), kDefNameBytes));
    info.Options = def[kCopyOptionsAt];
    if (def[kCopyFieldCountAt] == 0 || def[kCopyFieldCountAt] > kMaxIndexFields) throw damaged();
    for (std::uint32_t f = 0; f < def[kCopyFieldCountAt]; ++f) {
      std::uint16_t number = Get16(def + kCopyFieldsAt + 2 * f);
      if (number >= fieldCount) throw damaged();
      info.Fields.push_back(number);
    }
    indexes_.push_back(std::move(info));
  }
  version_ = version;
  headerSize_ = headerSize;
  unitSize_ = version == 1 ? fixedSlotSize : kUnitSize;
  maxRunUnits_ = version == 1 ? 1 : UnitsFor(maxPayload);
  ridFloor_ = std::clamp<std::uint32_t>(Get32(&header[kRidFloorAt]), 1, kMaxRid);
  nextRid_ = ridFloor_;
  unitEnd_ = UnitCount();
}

std::uint32_t TDataFile::UnitCount() const {
  if (file_->Size() < headerSize_) return 0;
  std::uint64_t units = (file_->Size() - headerSize_) / unitSize_;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(units, kMaxUnits));
}

void TDataFile::WriteHeader() {
  std::vector<std::uint8_t> header(headerSize_);
  file_->ReadAt(0, header.data(), headerSize_);
  Put32(&header[kRidFloorAt], ridFloor_);
  Put32(&header[kHeaderChecksumAt], 0);
  Put32(&header[kHeaderChecksumAt], Checksum32(header.data(), header.size()));
  file_->WriteAt(0, header.data(), header.size());
}

TDataFile::TScan TDataFile::Scan(bool repair) {
  if (!replaced_.empty() || !released_.empty()) Sync();
  TScan scan;
  blocks_.clear();
  cachedBytes_ = 0;
  slotOf_.clear();
  ClearFreeRuns();
  nextRid_ = ridFloor_;
  const std::uint32_t count = UnitCount();
  if (repair && file_->Size() != UnitOffset(count)) {
    file_->Truncate(UnitOffset(count));
    scan.Repaired = true;
  }
  TUnitStretches stretches(*file_, UnitOffset(0), unitSize_, count, kScanReadBytes);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> freed;  // runs: first unit, units
  // Neighbouring free units join into one run here already: a file of mostly free space then
  // costs a few runs, not one entry per unit.
  auto release = [&freed](std::uint32_t unit, std::uint32_t units) {
    if (!freed.empty() && freed.back().first + freed.back().second == unit) {
      freed.back().second += units;
    } else {
      freed.emplace_back(unit, units);
    }
  };
  std::vector<std::uint32_t> unmark;  // units whose state a repair sets to unused
  std::vector<TSlotRef> needRid;
  slotOf_.reserve(std::min<std::uint32_t>(count / 4, 1u << 16));
  TRow row;
  std::uint32_t holesFrom = 0;  // the next unit from which to ask the file system for holes
  for (std::uint32_t unit = 0; unit < count;) {
    if (unit >= holesFrom) {
      // A hole of a sparse file reads as zeros, that is as unused units: they are taken whole,
      // unread, so a file of mostly holes opens as fast as its data allows.
      const std::uint64_t at = UnitOffset(unit);
      const std::uint64_t hole = (file_->DataFrom(at) - at) / unitSize_;
      if (hole > 0) {
        const auto units = static_cast<std::uint32_t>(std::min<std::uint64_t>(hole, count - unit));
        release(unit, units);
        unit += units;
        continue;
      }
      holesFrom = unit + stretches.UnitsPerStretch();
    }
    const std::uint8_t state = stretches.View(unit, 1)[kStateAt];
    std::uint32_t units = 0;
    if (state == kRunLive || state == kRunDeleted) {
      const std::uint32_t claimed = version_ == 1 ? 1 : RunUnits(stretches.View(unit, 1));
      if (claimed >= 1 && claimed <= maxRunUnits_ && claimed <= count - unit &&
          WholeRun(stretches.View(unit, claimed), claimed, row)) {
        units = claimed;
      }
    }
    if (units == 0) {
      // Not the start of a whole row: one free unit. Units of freed runs read as kRunContinues.
      const bool known =
          state == kRunUnused || state == kRunDeleted || (state == kRunContinues && version_ > 1);
      if (!known || state == kRunLive) {
        scan.Repaired = true;
        ++scan.StrayUnits;
        unmark.push_back(unit);
      }
      release(unit, 1);
      ++unit;
      continue;
    }
    ++scan.WholeRuns;
    const std::uint8_t* run = stretches.View(unit, units);
    const std::uint32_t rid = Get32(run + kRidAt);
    const std::uint32_t generation = Get32(run + kGenerationAt);
    const TSlotRef here{unit, units, generation};
    unit += units;
    if (state == kRunDeleted) {
      if (rid <= kMaxRid) nextRid_ = std::max(nextRid_, rid + 1);
      release(here.Unit, here.Units);
      continue;
    }
    if (rid == 0 || rid > kMaxRid) {
      needRid.push_back(here);
      continue;
    }
    auto [it, added] = slotOf_.try_emplace(rid, here);
    if (!added) {
      scan.Repaired = true;
      TSlotRef loser = here;
      if (Newer(generation, it->second.Generation)) std::swap(loser, it->second);
      release(loser.Unit, loser.Units);
      unmark.push_back(loser.Unit);
    }
    nextRid_ = std::max(nextRid_, rid + 1);
  }
  if (repair) {
    const std::uint8_t unused = kRunUnused;
    for (std::uint32_t unit : unmark) WriteBytes(UnitOffset(unit), &unused, 1);
  }
  unitEnd_ = count;
  std::sort(freed.begin(), freed.end());
  for (const auto& [unit, units] : freed) ReleaseRun(unit, units);
  for (const TSlotRef& ref : needRid) {
    scan.Repaired = true;
    if (!repair || nextRid_ > kMaxRid) {
      ReleaseRun(ref.Unit, ref.Units);
      continue;
    }
    scratch_.resize(std::size_t{ref.Units} * unitSize_);
    ReadBytes(UnitOffset(ref.Unit), scratch_.data(), scratch_.size());
    GatherPayload(scratch_.data(), ref.Units);
    DecodePayload(row);
    row.Rid = nextRid_++;
    std::vector<std::uint8_t> bytes;
    Encode(row, 0, bytes);
    if (bytes.size() == scratch_.size()) {
      WriteBytes(UnitOffset(ref.Unit), bytes.data(), bytes.size());
      slotOf_[row.Rid] = TSlotRef{ref.Unit, ref.Units, 0};
    } else {
      const std::uint8_t unused = kRunUnused;
      WriteBytes(UnitOffset(ref.Unit), &unused, 1);
      ReleaseRun(ref.Unit, ref.Units);
      slotOf_[row.Rid] =
          TSlotRef{WriteToFreeRun(bytes), static_cast<std::uint32_t>(bytes.size() / kUnitSize), 0};
    }
  }
  scan.LiveRows = LiveRows();
  return scan;
}

TDataFile::TSlotMap TDataFile::SlotMap() const {
  TSlotMap map{slotOf_, {}, nextRid_, unitEnd_};
  map.FreeRuns.assign(freeByUnit_.begin(), freeByUnit_.end());
  return map;
}

void TDataFile::AdoptSlotMap(TSlotMap map) {
  slotOf_ = std::move(map.SlotOf);
  ClearFreeRuns();
  for (const auto& [unit, units] : map.FreeRuns) ReleaseRun(unit, units);
  nextRid_ = map.NextRid;
  unitEnd_ = map.UnitEnd;
}

TFieldValue TDataFile::Normalize(std::size_t field, const TFieldValue& value) const {
  const TFieldDef& def = fields_.at(field);
  if (std::holds_alternative<std::monostate>(value)) return value;
  auto invalid = [&](const std::string& text, const char* kind) {
    return EDatabaseError("'" + text + "' is not a valid " + kind + " value for field '" + def.Name + "'");
  };
  switch (def.DataType) {
    case TFieldType::ftString: {
      std::string text;
      if (auto* s = std::get_if<std::string>(&value)) text = *s;
      if (auto* i = std::get_if<std::int32_t>(&value)) text = std::to_string(*i);
      if (auto* d = std::get_if<double>(&value)) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15g", *d);
        text = buffer;
      }
      text.resize(std::min(text.size(), text.find('\0')));
      if (text.size() > static_cast<std::size_t>(def.Size)) {
        throw StoreError(kErrTextTooLong,
                         {std::to_string(text.size()), std::to_string(def.Size), def.Name, table_});
      }
      if (text.empty()) return std::monostate{};
      return text;
    }
    case TFieldType::ftInteger: {
      if (auto* i = std::get_if<std::int32_t>(&value)) return *i;
      if (auto* d = std::get_if<double>(&value)) {
        if (!(*d >= -2147483648.0 && *d <= 2147483647.0) || std::nearbyint(*d) != *d) {
          throw invalid(std::to_string(*d), "integer");
        }
        return static_cast<std::int32_t>(*d);
      }
      const std::string& text = std::get<std::string>(value);
      if (text.empty()) return std::monostate{};
      char* end = nullptr;
      errno = 0;
      long long parsed = std::strtoll(text.c_str(), &end, 10);
      if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) {
        throw invalid(text, "integer");
      }
      return static_cast<std::int32_t>(parsed);
    }
    case TFieldType::ftDateTime: {
      double days = 0;
      if (auto* i = std::get_if<std::int32_t>(&value)) days = *i;
      if (auto* d = std::get_if<double>(&value)) days = *d;
      if (auto* s = std::get_if<std::string>(&value)) {
        if (s->empty()) return std::monostate{};
        char* end = nullptr;
        days = std::strtod(s->c_str(), &end);
        if (end == s->c_str() || *end != '\0') throw invalid(*s, "date-time");
      }
      // Kept as stored: whole milliseconds since year 1, rounded half to even.
      const double ms = StoredMsOf(days);
      if (!std::isfinite(ms)) throw invalid(std::to_string(days), "date-time");
      return DaysOf(ms);
    }
  }
  return std::monostate{};
}

void TDataFile::Encode(const TRow& row, std::uint32_t generation, std::vector<std::uint8_t>& out) const {
  payload_.assign(NullMapBytes(fields_.size()), 0);
  auto append = [&](const void* bytes, std::size_t length) {
    const std::size_t at = payload_.size();
    payload_.resize(at + length);
    std::memcpy(payload_.data() + at, bytes, length);
  };
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TFieldValue& value = row.Values[i];
    if (std::holds_alternative<std::monostate>(value)) continue;
    payload_[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    switch (fields_[i].DataType) {
      case TFieldType::ftString: {
        const std::string& text = std::get<std::string>(value);
        const auto length = static_cast<std::uint16_t>(text.size());
        append(&length, 2);
        append(text.data(), text.size());
        break;
      }
      case TFieldType::ftInteger: {
        const std::int32_t v = std::get<std::int32_t>(value);
        append(&v, 4);
        break;
      }
      case TFieldType::ftDateTime: {
        const double ms = StoredMsOf(std::get<double>(value));
        append(&ms, 8);
        break;
      }
    }
  }
  const std::uint32_t units = UnitsFor(payload_.size());
  out.assign(std::size_t{units} * kUnitSize, 0);
  PutStateAndUnits(out.data(), kRunLive, units);
  Put32(&out[kRidAt], row.Rid);
  Put32(&out[kGenerationAt], generation);
  std::size_t taken = std::min<std::size_t>(payload_.size(), kUnitSize - kRunHeader);
  std::memcpy(&out[kRunHeader], payload_.data(), taken);
  for (std::uint32_t unit = 1; unit < units; ++unit) {
    std::uint8_t* at = &out[std::size_t{unit} * kUnitSize];
    at[0] = kRunContinues;
    const std::size_t n = std::min<std::size_t>(payload_.size() - taken, kUnitSize - 1);
    std::memcpy(at + 1, payload_.data() + taken, n);
    taken += n;
  }
  Put32(&out[kRunChecksumAt], Checksum32(&out[kRidAt], out.size() - kRidAt));
}

void TDataFile::GatherPayload(const std::uint8_t* run, std::uint32_t units) const {
  if (version_ == 1) {
    payload_.assign(run + kRunHeader, run + unitSize_);
    return;
  }
  payload_.resize(kUnitSize - kRunHeader + std::size_t{units - 1} * (kUnitSize - 1));
  std::memcpy(payload_.data(), run + kRunHeader, kUnitSize - kRunHeader);
  std::uint8_t* to = payload_.data() + (kUnitSize - kRunHeader);
  for (std::uint32_t unit = 1; unit < units; ++unit, to += kUnitSize - 1) {
    std::memcpy(to, run + std::size_t{unit} * kUnitSize + 1, kUnitSize - 1);
  }
}

bool TDataFile::DecodePayload(TRow& row) const {
  const std::uint8_t* p = payload_.data();
  const std::size_t size = payload_.size();
  std::size_t at = NullMapBytes(fields_.size());
  if (size < at) return false;
  // Texts are assigned into the strings the row already holds: a cursor reads row after row into
  // the same TRow, which then allocates nothing.
  row.Values.resize(fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDef& field = fields_[i];
    TFieldValue& value = row.Values[i];
    const bool present = (p[i / 8] & (1u << (i % 8))) != 0;
    // Version 1 keeps every value's place, present or not.
    const std::size_t fixed = version_ == 1 ? FixedValueSize(field) : 0;
    if (at + fixed > size) return false;
    if (!present) {
      value = std::monostate{};
      at += fixed;
      continue;
    }
    std::size_t width = fixed;
    switch (field.DataType) {
      case TFieldType::ftString: {
        const std::size_t lengthBytes = version_ == 1 ? 1 : 2;
        if (at + lengthBytes > size) return false;
        const std::size_t length = version_ == 1 ? p[at] : Get16(p + at);
        if (length == 0 || length > static_cast<std::size_t>(field.Size)) return false;
        if (version_ > 1) width = lengthBytes + length;
        if (at + lengthBytes + length > size) return false;
        std::string_view text(reinterpret_cast<const char*>(p + at + lengthBytes), length);
        text = text.substr(0, text.find('\0'));
        if (text.empty()) {
          value = std::monostate{};
        } else if (auto* held = std::get_if<std::string>(&value)) {
          held->assign(text);
        } else {
          value.emplace<std::string>(text);
        }
        break;
      }
      case TFieldType::ftInteger: {
        if (version_ > 1) width = 4;
        if (at + 4 > size) return false;
        std::int32_t v;
        std::memcpy(&v, p + at, 4);
        value = v;
        break;
      }
      case TFieldType::ftDateTime: {
        if (version_ > 1) width = 8;
        if (at + 8 > size) return false;
        double ms;
        std::memcpy(&ms, p + at, 8);
        if (!std::isfinite(ms)) return false;
        value = DaysOf(ms);
        break;
      }
    }
    at += width;
  }
  return true;
}

bool TDataFile::WholeRun(const std::uint8_t* run, std::uint32_t units, TRow& row) const {
  const std::size_t bytes = std::size_t{units} * unitSize_;
  if (!ChecksumAccepted(Get32(run + kRunChecksumAt), Checksum32(run + kRidAt, bytes - kRidAt))) return false;
  if (version_ > 1) {
    for (std::uint32_t unit = 1; unit < units; ++unit) {
      if (run[std::size_t{unit} * kUnitSize] != kRunContinues) return false;
    }
  }
  GatherPayload(run, units);
  return DecodePayload(row);
}

void TDataFile::ReadBytes(std::uint64_t offset, std::uint8_t* out, std::size_t length) const {
  while (length > 0) {
    std::uint64_t block = offset / kBlockSize;
    auto it = blocks_.find(block);
    if (it == blocks_.end()) {
      if (cachedBytes_ >= kMaxCachedBytes) {
        blocks_.clear();
        cachedBytes_ = 0;
      }
      std::uint64_t start = block * kBlockSize;
      std::uint64_t size =
          std::min<std::uint64_t>(kBlockSize, file_->Size() - std::min(file_->Size(), start));
      if (size == 0) throw StoreError(kErrDamaged, {table_});
      std::vector<std::uint8_t> bytes(size);
      file_->ReadAt(start, bytes.data(), size);
      cachedBytes_ += size;
      it = blocks_.emplace(block, std::move(bytes)).first;
    }
    std::uint64_t within = offset - block * kBlockSize;
    if (within >= it->second.size()) throw StoreError(kErrDamaged, {table_});
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, it->second.size() - within));
    std::memcpy(out, it->second.data() + within, n);
    out += n;
    offset += n;
    length -= n;
  }
}

void TDataFile::WriteBytes(std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  file_->WriteAt(offset, data, length);
  for (std::uint64_t at = offset; at < offset + length;) {
    std::uint64_t block = at / kBlockSize;
    std::uint64_t blockEnd = (block + 1) * kBlockSize;
    std::uint64_t end = std::min(offset + length, blockEnd);
    auto it = blocks_.find(block);
    if (it != blocks_.end()) {
      std::vector<std::uint8_t>& bytes = it->second;
      std::uint64_t within = at - block * kBlockSize;
      if (bytes.size() < end - block * kBlockSize) {
        std::size_t grown = static_cast<std::size_t>(end - block * kBlockSize);
        cachedBytes_ += grown - bytes.size();
        bytes.resize(grown);
      }
      std::memcpy(bytes.data() + within, data + (at - offset), static_cast<std::size_t>(end - at));
    }
    at = end;
  }
}

void TDataFile::Read(std::uint32_t rid, TRow& row) const {
  auto it = slotOf_.find(rid);
  if (it == slotOf_.end()) throw StoreError(kErrRecordChanged, {table_});
  scratch_.resize(std::size_t{it->second.Units} * unitSize_);
  ReadBytes(UnitOffset(it->second.Unit), scratch_.data(), scratch_.size());
  GatherPayload(scratch_.data(), it->second.Units);
  if (!DecodePayload(row)) throw StoreError(kErrDamaged, {table_});
  row.Rid = Get32(scratch_.data() + kRidAt);
}

std::uint64_t TDataFile::FreeBytes() const {
  std::uint64_t units = 0;
  for (const auto& [unit, length] : freeByUnit_) units += length;
  return units * unitSize_;
}

void TDataFile::ClearFreeRuns() {
  freeByUnit_.clear();
  freeByLength_.clear();
  replaced_.clear();
  released_.clear();
  releasedUnits_ = 0;
}

void TDataFile::ReleaseRun(std::uint32_t unit, std::uint32_t units) {
  std::uint32_t first = unit;
  std::uint32_t length = units;
  auto next = freeByUnit_.lower_bound(unit);
  if (next != freeByUnit_.end() && next->first == unit + units) {
    length += next->second;
    freeByLength_.erase({next->second, next->first});
    next = freeByUnit_.erase(next);
  }
  if (next != freeByUnit_.begin()) {
    auto previous = std::prev(next);
    if (previous->first + previous->second == unit) {
      first = previous->first;
      length += previous->second;
      freeByLength_.erase({previous->second, previous->first});
      freeByUnit_.erase(previous);
    }
  }
  freeByUnit_.emplace(first, length);
  freeByLength_.emplace(length, first);
}

std::uint32_t TDataFile::AllocateRun(std::uint32_t units) {
  // The shortest free run that holds the row, the first of those; so long rows keep room and
  // rows stay packed at the front of the file.
  auto fit = freeByLength_.lower_bound({units, 0});
  if (fit != freeByLength_.end()) {
    const auto [length, unit] = *fit;
    freeByLength_.erase(fit);
    freeByUnit_.erase(unit);
    if (length > units) ReleaseRun(unit + units, length - units);
    return unit;
  }
  // None holds it: the file grows, from a free run at its end if there is one.
  std::uint32_t unit = unitEnd_;
  auto last = freeByUnit_.empty() ? freeByUnit_.end() : std::prev(freeByUnit_.end());
  if (last != freeByUnit_.end() && last->first + last->second == unitEnd_) unit = last->first;
  if (std::uint64_t{unit} + units > kMaxUnits) throw StoreError(kErrFieldLimits, {table_});
  if (unit != unitEnd_) {
    freeByLength_.erase({last->second, last->first});
    freeByUnit_.erase(last);
  }
  unitEnd_ = unit + units;
  return unit;
}

std::uint32_t TDataFile::WriteToFreeRun(const std::vector<std::uint8_t>& bytes) {
  const auto units = static_cast<std::uint32_t>(bytes.size() / kUnitSize);
  const std::uint32_t unit = AllocateRun(units);
  try {
    WriteBytes(UnitOffset(unit), bytes.data(), bytes.size());
  } catch (...) {
    ReleaseRun(unit, units);
    throw;
  }
  return unit;
}

void TDataFile::MarkDeleted(std::uint32_t unit) {
  const std::uint8_t state = kRunDeleted;
  WriteBytes(UnitOffset(unit), &state, 1);
}

void TDataFile::Insert(TRow& row) {
  if (nextRid_ > kMaxRid) throw StoreError(kErrFieldLimits, {table_});
  row.Rid = nextRid_;
  std::vector<std::uint8_t> bytes;
  Encode(row, 0, bytes);
  const std::uint32_t unit = WriteToFreeRun(bytes);
  ++nextRid_;
  slotOf_[row.Rid] = TSlotRef{unit, static_cast<std::uint32_t>(bytes.size() / kUnitSize), 0};
}

void TDataFile::Update(const TRow& row) {
  auto it = slotOf_.find(row.Rid);
  if (it == slotOf_.end()) throw StoreError(kErrRecordChanged, {table_});
  const TSlotRef old = it->second;
  std::vector<std::uint8_t> bytes;
  Encode(row, old.Generation + 1, bytes);
  const std::uint32_t unit = WriteToFreeRun(bytes);
  it->second = TSlotRef{unit, static_cast<std::uint32_t>(bytes.size() / kUnitSize), old.Generation + 1};
  replaced_.emplace_back(row.Rid, old);
  released_.emplace_back(old.Unit, old.Units);
  releasedUnits_ += old.Units;
}

void TDataFile::Remove(std::uint32_t rid) {
  auto it = slotOf_.find(rid);
  if (it == slotOf_.end()) throw StoreError(kErrRecordChanged, {table_});
  MarkDeleted(it->second.Unit);
  // The versions it replaced since the last sync point go too, or they would stand for it.
  for (auto entry = replaced_.begin(); entry != replaced_.end();) {
    if (entry->first != rid) {
      ++entry;
      continue;
    }
    MarkDeleted(entry->second.Unit);
    entry = replaced_.erase(entry);
  }
  released_.emplace_back(it->second.Unit, it->second.Units);
  releasedUnits_ += it->second.Units;
  slotOf_.erase(it);
}

void TDataFile::Sync() {
  file_->Sync();
  if (!replaced_.empty()) {
    for (const auto& [rid, ref] : replaced_) MarkDeleted(ref.Unit);
    file_->Sync();
    replaced_.clear();
  }
  for (const auto& [unit, units] : released_) ReleaseRun(unit, units);
  released_.clear();
  releasedUnits_ = 0;
}

bool TDataFile::MuchRoomWaiting() const {
  // An eighth of the file, and at least 64 KB so that small tables do not sync at every change.
  return releasedUnits_ * unitSize_ >= 65536 && releasedUnits_ * 8 >= unitEnd_;
}

void TDataFile::Empty() {
  ridFloor_ = nextRid_;
  WriteHeader();
  file_->Sync();
  file_->Truncate(headerSize_);
  file_->Sync();
  blocks_.clear();
  cachedBytes_ = 0;
  slotOf_.clear();
  ClearFreeRuns();
  unitEnd_ = 0;
}

void TDataFile::ForEach(const std::function<void(const TRow&)>& visit) const {
  // A run holds a live row when the row's slot starts there: the older version of a row changed
  // since the last sync point still reads as live, and free units hold what they held.
  TUnitStretches stretches(*file_, UnitOffset(0), unitSize_, unitEnd_, kWalkReadBytes);
  TRow row;
  std::size_t left = slotOf_.size();
  for (std::uint32_t unit = 0; unit < unitEnd_ && left > 0;) {
    const std::uint8_t* first = stretches.View(unit, 1);
    const auto slot = first[kStateAt] == kRunLive ? slotOf_.find(Get32(first + kRidAt)) : slotOf_.end();
    if (slot == slotOf_.end() || slot->second.Unit != unit) {
      ++unit;
      continue;
    }
    const std::uint32_t units = slot->second.Units;
    GatherPayload(stretches.View(unit, units), units);
    if (!DecodePayload(row)) throw StoreError(kErrDamaged, {table_});
    row.Rid = slot->first;
    visit(row);
    unit += units;
    --left;
  }
  // Every slot lies within the file, so only a damaged one is missed.
  if (left > 0) throw StoreError(kErrDamaged, {table_});
}

}  // namespace velquin::store

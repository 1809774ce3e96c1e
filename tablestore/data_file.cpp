// The data file (.DAT) of a table.
//
// Header, at offset 0 (all integers little-endian):
//   offset  size  content
//   0       8     kDataMagic "VQTBLDAT"
//   8       4     format version: kDataVersion; version 1 files are read only to be converted
//   12      4     header size in bytes, a multiple of kHeaderAlign; slot 0 starts there
//   16      4     slot size in bytes
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
// Row slots, back to back after the header, each slot size bytes:
//   0       1     state: kSlotUnused (never written), kSlotLive, kSlotDeleted
//   1       3     zero
//   4       4     Checksum32 of bytes 8 .. slot end
//   8       4     record id, 1..kMaxRid
//   12      4     generation: rises with every rewrite of the row
//   16      b     null map, b = (n + 7) / 8 bytes: bit i set when field i has a value
//   16+b    ...   values in field order: text = length (2 bytes; 1 byte in version 1) + Size
//                 bytes, zero-filled; integer = 4 bytes; date-time = 8-byte IEEE double,
//                 milliseconds since the first day of year 1
//
// A row is written whole into a slot (insert into a free slot, an update into another free
// slot) before any other change refers to it; deleting a row writes its state byte alone. So
// after a crash every slot holds one whole row, or fails its checksum and held no row whose
// write had returned. Two live slots with one record id are the two versions of an update that
// was cut short: the higher generation wins.
#include "tablestore/data_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "tablestore/checksum.h"
#include "tablestore/store_errors.h"
#include "tablestore/store_limits.h"

namespace velquin::store {
namespace {

static_assert(std::endian::native == std::endian::little, "the file layouts are written in host order");

constexpr char kDataMagic[8] = {'V', 'Q', 'T', 'B', 'L', 'D', 'A', 'T'};
constexpr std::uint32_t kDataVersion = 2;
constexpr std::uint32_t kHeaderAlign = 512;
constexpr std::uint32_t kFieldDefSize = 36;
constexpr std::uint32_t kFieldDefsAt = 64;
constexpr std::uint32_t kIndexCopySize = 72;
constexpr std::uint32_t kMaxHeaderSize = 65536;
constexpr std::uint32_t kSlotHeader = 16;
constexpr std::uint8_t kSlotUnused = 0;
constexpr std::uint8_t kSlotLive = 1;
constexpr std::uint8_t kSlotDeleted = 2;
constexpr std::uint32_t kMaxRid = 0x7FFFFFFE;
constexpr std::uint64_t kBlockSize = 65536;
constexpr std::size_t kMaxCachedBytes = 64u << 20;
// Milliseconds from the first day of year 1 to 30 December 1899.
constexpr double kDateDeltaMs = 693594.0 * 86400000.0;

std::uint32_t Get32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

// Bytes of a text's length in the slots of a file of format `version`.
std::uint32_t LengthBytes(std::uint32_t version) { return version == 1 ? 1 : 2; }

std::uint32_t ValueSize(const TFieldDef& field, std::uint32_t version) {
  switch (field.DataType) {
    case TFieldType::ftString:
      return LengthBytes(version) + static_cast<std::uint32_t>(field.Size);
    case TFieldType::ftInteger:
      return 4;
    case TFieldType::ftDateTime:
      return 8;
  }
  return 0;
}

// The stored length of the text at `at`, 0 when none.
std::uint32_t TextLength(const std::uint8_t* at, std::uint32_t version) {
  if (version == 1) return at[0];
  std::uint16_t length;
  std::memcpy(&length, at, 2);
  return length;
}

// Newer of two generations, allowing for wrap-around.
bool Newer(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) > 0; }

}  // namespace

void TDataFile::Create(TPhysicalFile& file, const std::vector<TFieldDef>& fields,
                       const std::vector<TIndexFile::TIndexInfo>& indexes) {
  std::uint32_t indexesAt = kFieldDefsAt + kFieldDefSize * static_cast<std::uint32_t>(fields.size());
  std::uint32_t headerSize =
      (indexesAt + kIndexCopySize * static_cast<std::uint32_t>(indexes.size()) + kHeaderAlign - 1) /
      kHeaderAlign * kHeaderAlign;
  std::vector<std::uint8_t> header(headerSize, 0);
  std::memcpy(header.data(), kDataMagic, 8);
  Put32(&header[8], kDataVersion);
  Put32(&header[12], headerSize);
  std::uint32_t slotSize = kSlotHeader + static_cast<std::uint32_t>((fields.size() + 7) / 8);
  for (const TFieldDef& field : fields) slotSize += ValueSize(field, kDataVersion);
  Put32(&header[16], slotSize);
  Put32(&header[20], static_cast<std::uint32_t>(fields.size()));
  Put32(&header[24], 1);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::uint8_t* def = &header[kFieldDefsAt + kFieldDefSize * i];
    std::memcpy(def, fields[i].Name.data(), std::min<std::size_t>(fields[i].Name.size(), 31));
    def[32] = static_cast<std::uint8_t>(fields[i].DataType);
    def[33] = fields[i].Required ? 1 : 0;
    std::uint16_t size = static_cast<std::uint16_t>(fields[i].Size);
    std::memcpy(def + 34, &size, 2);
  }
  Put32(&header[32], static_cast<std::uint32_t>(indexes.size()));
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    std::uint8_t* def = &header[indexesAt + kIndexCopySize * i];
    std::memcpy(def, indexes[i].Name.data(), std::min<std::size_t>(indexes[i].Name.size(), 31));
    def[32] = indexes[i].Options;
    def[33] = static_cast<std::uint8_t>(indexes[i].Fields.size());
    for (std::size_t f = 0; f < indexes[i].Fields.size(); ++f)
      std::memcpy(def + 36 + 2 * f, &indexes[i].Fields[f], 2);
  }
  Put32(&header[28], Checksum32(header.data(), header.size()));
  file.WriteAt(0, header.data(), header.size());
}

std::uint32_t TDataFile::CurrentVersion() { return kDataVersion; }

void TDataFile::Attach(TPhysicalFile& file, const std::string& table) {
  file_ = &file;
  table_ = table;
  blocks_.clear();
  cachedBytes_ = 0;
  slotOf_.clear();
  freeSlots_.clear();
  auto damaged = [&] { return StoreError(kErrDamaged, {table_}); };
  if (file.Size() < kFieldDefsAt) throw damaged();
  std::uint8_t fixed[kFieldDefsAt];
  file.ReadAt(0, fixed, kFieldDefsAt);
  if (std::memcmp(fixed, kDataMagic, 8) != 0) throw damaged();
  const std::uint32_t version = Get32(fixed + 8);
  if (version > kDataVersion) throw StoreError(kErrNewerFormat, {table_});
  if (version == 0) throw damaged();
  std::uint32_t headerSize = Get32(fixed + 12);
  std::uint32_t fieldCount = Get32(fixed + 20);
  std::uint32_t indexCount = Get32(fixed + 32);
  std::uint32_t indexesAt = kFieldDefsAt + kFieldDefSize * fieldCount;
  if (fieldCount == 0 || fieldCount > kMaxFields || indexCount == 0 || indexCount > kMaxIndexes ||
      headerSize % kHeaderAlign != 0 || headerSize > kMaxHeaderSize ||
      headerSize < indexesAt + kIndexCopySize * indexCount || headerSize > file.Size()) {
    throw damaged();
  }
  std::vector<std::uint8_t> header(headerSize);
  file.ReadAt(0, header.data(), headerSize);
  std::uint32_t stored = Get32(&header[28]);
  Put32(&header[28], 0);
  if (!ChecksumAccepted(stored, Checksum32(header.data(), header.size()))) throw damaged();
  fields_.clear();
  valueOffset_.clear();
  std::uint32_t offset = kSlotHeader + (fieldCount + 7) / 8;
  for (std::uint32_t i = 0; i < fieldCount; ++i) {
    const std::uint8_t* def = &header[kFieldDefsAt + kFieldDefSize * i];
    TFieldDef field;
    field.Name.assign(reinterpret_cast<const char*>(def), strnlen(reinterpret_cast<const char*>(def), 32));
    if (def[32] > 2) throw damaged();
    field.DataType = static_cast<TFieldType>(def[32]);
    field.Required = def[33] != 0;
    std::uint16_t size;
    std::memcpy(&size, def + 34, 2);
    field.Size = size;
    const std::size_t maxSize = version == 1 ? 250 : kMaxTextSize;
    if (field.DataType == TFieldType::ftString && (size < 1 || size > maxSize)) throw damaged();
    valueOffset_.push_back(offset);
    offset += ValueSize(field, version);
    fields_.push_back(std::move(field));
  }
  if (Get32(&header[16]) != offset) throw damaged();
  indexes_.clear();
  for (std::uint32_t i = 0; i < indexCount; ++i) {
    const std::uint8_t* def = &header[indexesAt + kIndexCopySize * i];
    TIndexFile::TIndexInfo info;
    info.Name.assign(reinterpret_cast<const char*>(def), strnlen(reinterpret_cast<const char*>(def), 32));
    info.Options = def[32];
    if (def[33] == 0 || def[33] > kMaxIndexFields) throw damaged();
    for (std::uint32_t f = 0; f < def[33]; ++f) {
      std::uint16_t number;
      std::memcpy(&number, def + 36 + 2 * f, 2);
      if (number >= fieldCount) throw damaged();
      info.Fields.push_back(number);
    }
    indexes_.push_back(std::move(info));
  }
  version_ = version;
  headerSize_ = headerSize;
  slotSize_ = offset;
  ridFloor_ = std::clamp<std::uint32_t>(Get32(&header[24]), 1, kMaxRid);
  nextRid_ = ridFloor_;
  slotEnd_ = SlotCount();
}

std::uint32_t TDataFile::SlotCount() const {
  std::uint64_t slots = (file_->Size() - headerSize_) / slotSize_;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(slots, 0xFFFFFFF0u));
}

void TDataFile::WriteHeader() {
  std::vector<std::uint8_t> header(headerSize_);
  file_->ReadAt(0, header.data(), headerSize_);
  Put32(&header[24], ridFloor_);
  Put32(&header[28], 0);
  Put32(&header[28], Checksum32(header.data(), header.size()));
  file_->WriteAt(0, header.data(), header.size());
}

TDataFile::TScan TDataFile::Scan(bool repair) {
  TScan scan;
  blocks_.clear();
  cachedBytes_ = 0;
  slotOf_.clear();
  freeSlots_.clear();
  nextRid_ = ridFloor_;
  std::uint32_t count = SlotCount();
  if (repair && file_->Size() != SlotOffset(count)) {
    file_->Truncate(SlotOffset(count));
    scan.Repaired = true;
  }
  std::vector<std::uint32_t> needRid;
  std::vector<std::uint32_t> freed;
  slotOf_.reserve(count);
  const std::uint32_t perChunk = std::max<std::uint32_t>(1, (1u << 20) / slotSize_);
  std::vector<std::uint8_t> chunk;
  TRow row;
  for (std::uint32_t first = 0; first < count; first += perChunk) {
    std::uint32_t n = std::min(perChunk, count - first);
    chunk.resize(std::size_t{n} * slotSize_);
    file_->ReadAt(SlotOffset(first), chunk.data(), chunk.size());
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint8_t* slot = &chunk[std::size_t{i} * slotSize_];
      std::uint32_t number = first + i;
      std::uint32_t rid = Get32(slot + 8);
      bool whole = (slot[0] == kSlotLive || slot[0] == kSlotDeleted) &&
                   ChecksumAccepted(Get32(slot + 4), Checksum32(slot + 8, slotSize_ - 8)) && Valid(slot);
      if (slot[0] == kSlotDeleted && whole && rid <= kMaxRid) nextRid_ = std::max(nextRid_, rid + 1);
      if (slot[0] != kSlotLive || !whole) {
        if (slot[0] != kSlotUnused && slot[0] != kSlotDeleted) scan.Repaired = true;
        if (slot[0] == kSlotLive) scan.Repaired = true;
        freed.push_back(number);
        continue;
      }
      if (rid == 0 || rid > kMaxRid) {
        needRid.push_back(number);
        continue;
      }
      std::uint32_t generation = Get32(slot + 12);
      auto [it, added] = slotOf_.try_emplace(rid, TSlotRef{number, generation});
      if (!added) {
        scan.Repaired = true;
        if (Newer(generation, it->second.Generation)) {
          freed.push_back(it->second.Slot);
          it->second = TSlotRef{number, generation};
        } else {
          freed.push_back(number);
        }
      }
      nextRid_ = std::max(nextRid_, rid + 1);
    }
  }
  if (repair) {
    for (std::uint32_t slot : freed) {
      std::uint8_t state = 0;
      ReadBytes(SlotOffset(slot), &state, 1);
      if (state == kSlotLive || (state != kSlotUnused && state != kSlotDeleted)) {
        state = kSlotUnused;
        WriteBytes(SlotOffset(slot), &state, 1);
      }
    }
  }
  freeSlots_ = std::move(freed);
  slotEnd_ = count;
  for (std::uint32_t slot : needRid) {
    scan.Repaired = true;
    if (!repair || nextRid_ > kMaxRid) {
      freeSlots_.push_back(slot);
      continue;
    }
    std::vector<std::uint8_t> bytes(slotSize_);
    ReadBytes(SlotOffset(slot), bytes.data(), slotSize_);
    Decode(bytes.data(), row);
    row.Rid = nextRid_++;
    Encode(row, 0, bytes);
    WriteBytes(SlotOffset(slot), bytes.data(), slotSize_);
    slotOf_[row.Rid] = TSlotRef{slot, 0};
  }
  // Lowest slots first, so rows stay packed at the front of the file.
  std::sort(freeSlots_.begin(), freeSlots_.end(), std::greater<>());
  scan.LiveRows = LiveRows();
  return scan;
}

TDataFile::TSlotMap TDataFile::SlotMap() const { return TSlotMap{slotOf_, freeSlots_, nextRid_, slotEnd_}; }

void TDataFile::AdoptSlotMap(TSlotMap map) {
  slotOf_ = std::move(map.SlotOf);
  freeSlots_ = std::move(map.FreeSlots);
  nextRid_ = map.NextRid;
  slotEnd_ = map.SlotEnd;
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
      double ms = std::nearbyint(days * 86400000.0 + kDateDeltaMs);
      if (!std::isfinite(ms)) throw invalid(std::to_string(days), "date-time");
      return (ms - kDateDeltaMs) / 86400000.0;
    }
  }
  return std::monostate{};
}

void TDataFile::Encode(const TRow& row, std::uint32_t generation, std::vector<std::uint8_t>& out) const {
  out.assign(slotSize_, 0);
  out[0] = kSlotLive;
  Put32(&out[8], row.Rid);
  Put32(&out[12], generation);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TFieldValue& value = row.Values[i];
    if (std::holds_alternative<std::monostate>(value)) continue;
    out[kSlotHeader + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    std::uint8_t* at = &out[valueOffset_[i]];
    switch (fields_[i].DataType) {
      case TFieldType::ftString: {
        const std::string& text = std::get<std::string>(value);
        const auto length = static_cast<std::uint16_t>(text.size());
        std::memcpy(at, &length, 2);
        std::memcpy(at + 2, text.data(), text.size());
        break;
      }
      case TFieldType::ftInteger: {
        std::int32_t v = std::get<std::int32_t>(value);
        std::memcpy(at, &v, 4);
        break;
      }
      case TFieldType::ftDateTime: {
        double ms = std::nearbyint(std::get<double>(value) * 86400000.0 + kDateDeltaMs);
        std::memcpy(at, &ms, 8);
        break;
      }
    }
  }
  Put32(&out[4], Checksum32(&out[8], slotSize_ - 8));
}

bool TDataFile::Valid(const std::uint8_t* slot) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if ((slot[kSlotHeader + i / 8] & (1u << (i % 8))) == 0) continue;
    const std::uint8_t* at = slot + valueOffset_[i];
    if (fields_[i].DataType == TFieldType::ftString) {
      std::uint32_t length = TextLength(at, version_);
      if (length == 0 || length > static_cast<std::uint32_t>(fields_[i].Size)) return false;
    }
    if (fields_[i].DataType == TFieldType::ftDateTime) {
      double ms;
      std::memcpy(&ms, at, 8);
      if (!std::isfinite(ms)) return false;
    }
  }
  return true;
}

bool TDataFile::Decode(const std::uint8_t* slot, TRow& row) const {
  row.Rid = Get32(slot + 8);
  // Texts are assigned into the strings the row already holds: a cursor reads row after row into
  // the same TRow, which then allocates nothing.
  row.Values.resize(fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    TFieldValue& value = row.Values[i];
    if ((slot[kSlotHeader + i / 8] & (1u << (i % 8))) == 0) {
      value = std::monostate{};
      continue;
    }
    const std::uint8_t* at = slot + valueOffset_[i];
    switch (fields_[i].DataType) {
      case TFieldType::ftString: {
        std::uint32_t length = TextLength(at, version_);
        if (length == 0 || length > static_cast<std::uint32_t>(fields_[i].Size)) return false;
        std::string_view text(reinterpret_cast<const char*>(at + LengthBytes(version_)), length);
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
        std::int32_t v;
        std::memcpy(&v, at, 4);
        row.Values[i] = v;
        break;
      }
      case TFieldType::ftDateTime: {
        double ms;
        std::memcpy(&ms, at, 8);
        if (!std::isfinite(ms)) return false;
        row.Values[i] = (ms - kDateDeltaMs) / 86400000.0;
        break;
      }
    }
  }
  return true;
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
  scratch_.resize(slotSize_);
  ReadBytes(SlotOffset(it->second.Slot), scratch_.data(), slotSize_);
  if (!Decode(scratch_.data(), row)) throw StoreError(kErrDamaged, {table_});
}

std::uint32_t TDataFile::WriteToFreeSlot(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t slot;
  if (!freeSlots_.empty()) {
    slot = freeSlots_.back();
    freeSlots_.pop_back();
  } else {
    if (slotEnd_ >= 0xFFFFFFF0u) throw StoreError(kErrFieldLimits, {table_});
    slot = slotEnd_++;
  }
  try {
    WriteBytes(SlotOffset(slot), bytes.data(), bytes.size());
  } catch (...) {
    freeSlots_.push_back(slot);
    throw;
  }
  return slot;
}

void TDataFile::Insert(TRow& row) {
  if (nextRid_ > kMaxRid) throw StoreError(kErrFieldLimits, {table_});
  row.Rid = nextRid_;
  std::vector<std::uint8_t> bytes;
  Encode(row, 0, bytes);
  const std::uint32_t slot = WriteToFreeSlot(bytes);
  ++nextRid_;
  slotOf_[row.Rid] = TSlotRef{slot, 0};
}

void TDataFile::Update(const TRow& row) {
  auto it = slotOf_.find(row.Rid);
  if (it == slotOf_.end()) throw StoreError(kErrRecordChanged, {table_});
  TSlotRef old = it->second;
  std::vector<std::uint8_t> bytes;
  Encode(row, old.Generation + 1, bytes);
  const std::uint32_t slot = WriteToFreeSlot(bytes);
  it->second = TSlotRef{slot, old.Generation + 1};
  std::uint8_t state = kSlotDeleted;
  WriteBytes(SlotOffset(old.Slot), &state, 1);
  freeSlots_.push_back(old.Slot);
}

void TDataFile::Remove(std::uint32_t rid) {
  auto it = slotOf_.find(rid);
  if (it == slotOf_.end()) throw StoreError(kErrRecordChanged, {table_});
  std::uint8_t state = kSlotDeleted;
  WriteBytes(SlotOffset(it->second.Slot), &state, 1);
  freeSlots_.push_back(it->second.Slot);
  slotOf_.erase(it);
}

void TDataFile::Empty() {
  ridFloor_ = nextRid_;
  WriteHeader();
  file_->Truncate(headerSize_);
  blocks_.clear();
  cachedBytes_ = 0;
  slotOf_.clear();
  freeSlots_.clear();
  slotEnd_ = 0;
}

void TDataFile::ForEach(const std::function<void(const TRow&)>& visit) const {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> slots;
  slots.reserve(slotOf_.size());
  for (const auto& [rid, ref] : slotOf_) slots.emplace_back(ref.Slot, rid);
  std::sort(slots.begin(), slots.end());
  TRow row;
  for (const auto& [slot, rid] : slots) {
    Read(rid, row);
    visit(row);
  }
}

}  // namespace velquin::store

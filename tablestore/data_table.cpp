#include "tablestore/data_table.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <set>

#include "tablestore/coding.h"
#include "tablestore/data_session.h"
#include "tablestore/durability.h"
#include "tablestore/file_system.h"
#include "tablestore/format_upgrade.h"
#include "tablestore/store_error_codes.h"
#include "tablestore/store_limits.h"

namespace velquin::store {
namespace {

constexpr char kDataExtension[] = ".DAT";
constexpr char kIndexExtension[] = ".IDX";
constexpr std::size_t kMaxNameLength = 30;
// A data file is compacted on open when at least three quarters of a row area of this size or
// more hold no row: below it the space is not worth a rewrite.
constexpr std::uint64_t kCompactFromBytes = 1u << 20;

std::string Trim(const std::string& text) {
  auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::vector<std::string> SplitFields(const std::string& text) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    names.push_back(Trim(text.substr(start, end - start)));
    start = end + 1;
  }
  return names;
}

void PutBigEndian(TIndexFile::TKey& key, std::uint64_t value, int bytes, bool invert) {
  for (int i = bytes - 1; i >= 0; --i) {
    auto b = static_cast<std::uint8_t>(value >> (8 * i));
    key.push_back(invert ? static_cast<std::uint8_t>(~b) : b);
  }
}

// Upper case of the United States English mapping, which touches ASCII letters alone.
std::uint8_t Upper(std::uint8_t c) { return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 32) : c; }

// Longest key of an index, in the unpadded form the trees store.
std::size_t MaxKeyLength(const std::vector<TFieldDef>& fields, const std::vector<std::uint16_t>& numbers,
                         bool unique) {
  std::size_t length = unique ? 0 : 4;
  for (std::uint16_t n : numbers) {
    const TFieldDef& field = fields[n];
    length += 1 + (field.DataType == TFieldType::ftString    ? field.Size + 1
                   : field.DataType == TFieldType::ftInteger ? 4
                                                             : 8);
  }
  return length;
}

// The index page size that takes the longest key of every index in `infos`.
std::uint32_t IndexPageSize(const std::vector<TFieldDef>& fields,
                            const std::vector<TIndexFile::TIndexInfo>& infos) {
  std::size_t longest = 0;
  for (const auto& info : infos) {
    longest =
        std::max(longest, MaxKeyLength(fields, info.Fields, (info.Options & (ixUnique | ixPrimary)) != 0));
  }
  return TIndexFile::PageSizeFor(longest);
}

// A record id with a number that goes with it (a row's number, a place in an index).
struct TRidAnd {
  std::uint32_t Rid;
  std::uint32_t Number;
};

// Sorts by record id, in passes of 11 bits, each a stable counting sort; a pass whose bits every
// record id shares moves nothing, so ids given in ascending order cost one count per pass.
void SortByRid(std::vector<TRidAnd>& items) {
  constexpr int kBits = 11;
  constexpr std::size_t kBuckets = std::size_t{1} << kBits;
  std::vector<TRidAnd> scratch;
  for (int shift = 0; shift < 32; shift += kBits) {
    if (std::is_sorted(items.begin(), items.end(),
                       [](const TRidAnd& a, const TRidAnd& b) { return a.Rid < b.Rid; })) {
      return;
    }
    std::vector<std::size_t> start(kBuckets + 1, 0);
    for (const TRidAnd& item : items) ++start[(item.Rid >> shift & (kBuckets - 1)) + 1];
    if (std::find(start.begin(), start.end(), items.size()) != start.end()) continue;
    for (std::size_t b = 0; b < kBuckets; ++b) start[b + 1] += start[b];
    scratch.resize(items.size());
    for (const TRidAnd& item : items) scratch[start[item.Rid >> shift & (kBuckets - 1)]++] = item;
    items.swap(scratch);
  }
}

}  // namespace

bool TDataTable::Exists(const TDataDirectory& directory, const std::string& tableName) {
  return directory.FileExists(TDataDirectory::BaseName(tableName), kDataExtension);
}

void TDataTable::Compile(const std::string& base, const std::vector<TFieldDef>& fields,
                         const std::vector<TIndexDef>& indexes, std::vector<TFieldDef>& defs,
                         std::vector<TIndexFile::TIndexInfo>& infos) {
  if (fields.empty() || fields.size() > kMaxFields) throw StoreError(kErrFieldLimits, {base});
  defs = fields;
  for (std::size_t i = 0; i < defs.size(); ++i) {
    defs[i].Name = Trim(defs[i].Name);
    const std::string& name = defs[i].Name;
    if (name.empty() || name.size() > kMaxNameLength)
      throw StoreError(kErrInvalidFieldName, {fields[i].Name, base});
    for (std::size_t j = 0; j < i; ++j) {
      if (SameName(defs[j].Name, name)) throw StoreError(kErrInvalidFieldName, {name, base});
    }
    if (defs[i].DataType == TFieldType::ftString &&
        (defs[i].Size < 1 || static_cast<std::size_t>(defs[i].Size) > kMaxTextSize)) {
      throw StoreError(kErrInvalidFieldDef, {name, base});
    }
    if (defs[i].DataType != TFieldType::ftString) defs[i].Size = 0;
  }
  infos.clear();
  std::size_t primaries = 0;
  for (const TIndexDef& def : indexes) primaries += (def.Options & ixPrimary) ? 1 : 0;
  if (primaries != 1 || indexes.size() > kMaxIndexes) throw StoreError(kErrIndexLimits, {base});
  for (int pass = 0; pass < 2; ++pass) {
    for (const TIndexDef& def : indexes) {
      bool primary = (def.Options & ixPrimary) != 0;
      if (primary != (pass == 0)) continue;
      TIndexFile::TIndexInfo info;
      info.Name = Trim(def.Name);
      info.Options = primary ? static_cast<TIndexOptions>(def.Options | ixUnique) : def.Options;
      if (info.Name.size() > kMaxNameLength || (!primary && info.Name.empty())) {
        throw StoreError(kErrInvalidIndexName, {def.Name, base});
      }
      for (const auto& other : infos) {
        if (!info.Name.empty() && SameName(other.Name, info.Name)) {
          throw StoreError(kErrInvalidIndexName, {def.Name, base});
        }
      }
      for (const std::string& name : SplitFields(def.Fields)) {
        auto it = std::find_if(defs.begin(), defs.end(),
                               [&](const TFieldDef& f) { return SameName(f.Name, name); });
        if (it == defs.end()) throw StoreError(kErrInvalidFieldName, {name, base});
        info.Fields.push_back(static_cast<std::uint16_t>(it - defs.begin()));
      }
      if (info.Fields.size() > kMaxIndexFields ||
          MaxKeyLength(defs, info.Fields, (info.Options & ixUnique) != 0) > TIndexFile::kMaxKeyLength) {
        throw StoreError(kErrIndexLimits, {base});
      }
      infos.push_back(std::move(info));
    }
  }
}

void TDataTable::Create(const TDataDirectory& directory, const std::string& tableName,
                        const std::vector<TFieldDef>& fields, const std::vector<TIndexDef>& indexes) {
  std::string base = TDataDirectory::BaseName(tableName);
  if (Exists(directory, tableName)) throw StoreError(kErrTableExists, {base});
  CreateStaged(directory, tableName, fields, indexes);
  PublishStaged(directory, base);
}

void TDataTable::CreateStaged(const TDataDirectory& directory, const std::string& tableName,
                              const std::vector<TFieldDef>& fields, const std::vector<TIndexDef>& indexes) {
  std::string base = TDataDirectory::BaseName(tableName);
  std::vector<TFieldDef> defs;
  std::vector<TIndexFile::TIndexInfo> infos;
  Compile(base, fields, indexes, defs, infos);
  // Whatever an earlier creation or conversion cut short left under the staged name goes first.
  const std::string staged = StagedName(base);
  for (const char* extension : {kIndexExtension, kDataExtension}) {
    const std::string path = directory.FilePath(staged, extension);
    if (TFileSystem::Current().Unlink(path) != 0 && errno != ENOENT) {
      throw OsError(errno, base, TFileOp::kDeleting, path);
    }
  }
  TPhysicalFile indexFile;
  indexFile.Open(directory.Folder() + staged + kIndexExtension, TPhysicalFile::TMode::kCreate, base);
  TIndexFile::Create(indexFile, infos, IndexPageSize(defs, infos));
  indexFile.Sync();
  TPhysicalFile dataFile;
  dataFile.Open(directory.Folder() + staged + kDataExtension, TPhysicalFile::TMode::kCreate, base);
  TDataFile::Create(dataFile, defs, infos);
  dataFile.Sync();
}

void TDataTable::PublishStaged(const TDataDirectory& directory, const std::string& base) {
  TFileSystem& files = TFileSystem::Current();
  const std::string staged = StagedName(base);
  // Without its index file the table opens from the rows alone, old or new; an old index file
  // beside the new rows (or the reverse) could send keys to other rows.
  const std::string oldIndex = directory.FilePath(base, kIndexExtension);
  if (files.Unlink(oldIndex) != 0 && errno != ENOENT)
    throw OsError(errno, base, TFileOp::kDeleting, oldIndex);
  SyncFolder(directory.Folder(), base);
  for (const char* extension : {kDataExtension, kIndexExtension}) {
    const std::string from = directory.FilePath(staged, extension);
    if (files.Rename(from, directory.FilePath(base, extension)) != 0)
      throw OsError(errno, base, TFileOp::kRenaming, from);
    SyncFolder(directory.Folder(), base);
  }
}

bool TDataTable::UpgradeFields(const TDataDirectory& directory, const std::string& tableName,
                               const std::vector<TFieldDef>& wanted) {
  const std::string name = TDataDirectory::BaseName(tableName);
  // The stored fields with the wanted sizes and the wanted fields they lack; `any` tells whether
  // anything changed.
  auto upgraded = [&](std::vector<TFieldDef> fields, bool& any) {
    any = false;
    const std::size_t stored = fields.size();
    for (const TFieldDef& want : wanted) {
      const auto same = std::find_if(fields.begin(), fields.begin() + static_cast<std::ptrdiff_t>(stored),
                                     [&](const TFieldDef& field) { return field.Name == want.Name; });
      if (same == fields.begin() + static_cast<std::ptrdiff_t>(stored)) {
        fields.push_back(want);
        any = true;
      } else if (want.DataType == TFieldType::ftString && same->DataType == TFieldType::ftString &&
                 want.Size > same->Size) {
        same->Size = want.Size;
        any = true;
      }
    }
    return fields;
  };
  bool any = false;
  {
    // The header alone tells whether anything is to be done: most opens find nothing.
    TPhysicalFile file;
    file.Open(directory.FilePath(name, kDataExtension), TPhysicalFile::TMode::kReadOnly, name);
    TDataFile data;
    try {
      data.Attach(file, name);
    } catch (const EStoreError& error) {
      // A header that cannot be read is made again, from the wanted definitions, by the check.
      if (error.Code == kErrDamaged) return false;
      throw;
    }
    upgraded(data.Fields(), any);
    if (!any) return false;
  }
  TDataTable table(directory, tableName, false);
  table.RequireWritable();
  UpgradeTable(directory, table.name_, table.data_, upgraded(table.Fields(), any));
  return true;
}

TDataTable::TDataTable(const TDataDirectory& directory, const std::string& tableName, bool readOnly,
                       const TTableDefs* rebuildFrom)
    : name_(TDataDirectory::BaseName(tableName)) {
  OpenFiles(directory, readOnly, rebuildFrom);
  if (Writable() && data_.RowAreaBytes() >= kCompactFromBytes &&
      data_.FreeBytes() >= data_.RowAreaBytes() / 4 * 3) {
    UpgradeTable(directory, name_, data_, data_.Fields());
    indexFile_.Close();
    dataFile_.Close();
    OpenFiles(directory, readOnly, nullptr);
  }
}

void TDataTable::OpenFiles(const TDataDirectory& directory, bool readOnly, const TTableDefs* rebuildFrom) {
  auto open = [&](TPhysicalFile& file, const char* extension) {
    std::string path = directory.FilePath(name_, extension);
    if (!readOnly) {
      try {
        file.Open(path, TPhysicalFile::TMode::kReadWrite, name_);
        return;
      } catch (const EStoreError& error) {
        if (error.Code == kErrTableMissing) throw;
      }
    }
    file.Open(path, TPhysicalFile::TMode::kReadOnly, name_);
  };
  open(dataFile_, kDataExtension);
  // What a killed writer left in the operating system's cache becomes durable before this open
  // repairs or reuses any of it.
  if (dataFile_.Writable()) dataFile_.Sync();
  try {
    data_.Attach(dataFile_, name_);
  } catch (const EStoreError& error) {
    if (error.Code != kErrDamaged || rebuildFrom == nullptr || !dataFile_.Writable()) throw;
    std::vector<TFieldDef> defs;
    std::vector<TIndexFile::TIndexInfo> infos;
    Compile(name_, rebuildFrom->Fields, rebuildFrom->Indexes, defs, infos);
    if (!data_.RebuildHeader(dataFile_, name_, defs, infos)) throw;
    data_.Attach(dataFile_, name_);
    repairedOnOpen_ = true;
  }
  if (data_.Version() < TDataFile::CurrentVersion()) {
    // An older table is converted whole before anything reads or repairs it as the current format.
    if (!dataFile_.Writable()) throw StoreError(kErrOldFormatReadOnly, {name_});
    UpgradeTable(directory, name_, data_, data_.Fields());
    dataFile_.Close();
    open(dataFile_, kDataExtension);
    data_.Attach(dataFile_, name_);
  }
  std::string indexPath = directory.FilePath(name_, kIndexExtension);
  bool remake = false;
  try {
    indexFile_.Open(indexPath,
                    dataFile_.Writable() ? TPhysicalFile::TMode::kReadWrite : TPhysicalFile::TMode::kReadOnly,
                    name_);
  } catch (const EStoreError& error) {
    if (error.Code == kErrTableMissing && dataFile_.Writable()) {
      remake = true;
    } else if (error.Code == kErrAccessDenied && dataFile_.Writable()) {
      // Both files writable or neither: one writable file beside a read-only one would let
      // them drift apart.
      dataFile_.Close();
      dataFile_.Open(directory.FilePath(name_, kDataExtension), TPhysicalFile::TMode::kReadOnly, name_);
      data_.Attach(dataFile_, name_);
      indexFile_.Open(indexPath, TPhysicalFile::TMode::kReadOnly, name_);
    } else {
      throw;
    }
  }
  if (!remake) {
    try {
      index_.Attach(indexFile_, name_);
      for (const auto& info : index_.Indexes()) {
        for (std::uint16_t field : info.Fields) {
          if (field >= data_.Fields().size()) throw StoreError(kErrDamaged, {name_});
        }
        bool unique = (info.Options & (ixUnique | ixPrimary)) != 0;
        if (MaxKeyLength(data_.Fields(), info.Fields, unique) >
            TIndexFile::MaxKeyLengthOf(index_.PageSize())) {
          throw StoreError(kErrDamaged, {name_});
        }
      }
    } catch (const EStoreError& error) {
      if (error.Code != kErrDamaged || !Writable()) throw;
      remake = true;
    }
  }
  if (remake) {
    for (const auto& info : data_.IndexCopies()) {
      bool unique = (info.Options & (ixUnique | ixPrimary)) != 0;
      if (MaxKeyLength(data_.Fields(), info.Fields, unique) > TIndexFile::kMaxKeyLength) {
        throw StoreError(kErrDamaged, {name_});
      }
    }
    // The index file is lost or unreadable: make it again from the data file's copy of the
    // definitions; the trees are then rebuilt from the rows below.
    indexFile_.Close();
    if (TFileSystem::Current().Unlink(indexPath) != 0 && errno != ENOENT) throw OsError(errno, name_);
    indexFile_.Open(directory.Folder() + name_ + kIndexExtension, TPhysicalFile::TMode::kCreate, name_);
    TIndexFile::Create(indexFile_, data_.IndexCopies(), IndexPageSize(data_.Fields(), data_.IndexCopies()));
    index_.Attach(indexFile_, name_);
    index_.MarkDirty();
    repairedOnOpen_ = true;
  }
  // Right after a check of unchanged files the check's slot map stands in for a second scan.
  auto checked =
      TDataSession::Default().TakeCheck(dataFile_.Path(), TDataSession::StampOf(dataFile_.Handle()),
                                        TDataSession::StampOf(indexFile_.Handle()));
  if (checked) {
    data_.AdoptSlotMap(std::move(*checked));
  } else {
    repairedOnOpen_ = data_.Scan(Writable()).Repaired || repairedOnOpen_;
  }
  bool consistent = !index_.Dirty();
  for (std::size_t i = 0; i < IndexCount(); ++i) consistent = consistent && index_.Count(i) == RowCount();
  if (!consistent) {
    if (!Writable()) throw StoreError(kErrDamaged, {name_});
    RebuildTrees();
    repairedOnOpen_ = true;
  }
}

TDataTable::~TDataTable() {
  try {
    Close();
  } catch (const EStoreError&) {
    // Closing cannot report here; the trees stay marked unfinished and are rebuilt next time.
  }
}

void TDataTable::Close() {
  if (dataFile_.IsOpen() && dataFile_.Writable()) Sync();
  if (indexFile_.IsOpen() && indexFile_.Writable() && !broken_) {
    index_.MarkClean();
    if (checked_) {
      TDataSession::Default().RememberCheck(dataFile_.Path(), TDataSession::StampOf(dataFile_.Handle()),
                                            TDataSession::StampOf(indexFile_.Handle()), data_.SlotMap());
    }
  }
  checked_ = false;
  indexFile_.Close();
  dataFile_.Close();
}

void TDataTable::Sync() {
  if (!Writable()) return;
  data_.Sync();
  changesSinceSync_ = 0;
  lastSync_ = std::chrono::steady_clock::now();
}

bool TDataTable::CheckAndRepair(bool forceIndexRebuild) {
  RequireWritable();
  // The open scanned every slot already; scan again only when rows changed since.
  bool repaired = changedSinceOpen_ ? data_.Scan(true).Repaired : repairedOnOpen_;
  if (forceIndexRebuild || index_.Dirty() || !index_.Verify(RowCount())) {
    RebuildTrees();
    repaired = true;
  }
  checked_ = true;
  return !repaired;
}

void TDataTable::RebuildTrees() {
  std::size_t count = IndexCount();
  std::vector<std::vector<std::pair<TKey, std::uint32_t>>> entries(count);
  for (auto& list : entries) list.reserve(RowCount());
  data_.ForEach([&](const TRow& row) {
    for (std::size_t i = 0; i < count; ++i)
      entries[i].emplace_back(BuildKey(i, row.Values, row.Rid), row.Rid);
  });
  std::set<std::uint32_t> dropped;
  for (std::size_t i = 0; i < count; ++i) {
    std::sort(entries[i].begin(), entries[i].end(), [](const auto& a, const auto& b) {
      int c = std::memcmp(a.first.data(), b.first.data(), std::min(a.first.size(), b.first.size()));
      if (c != 0) return c < 0;
      return a.first.size() != b.first.size() ? a.first.size() < b.first.size() : a.second < b.second;
    });
    if (!IsUnique(i)) continue;
    // Of rows sharing a unique key the one stored first stays.
    for (std::size_t e = 1; e < entries[i].size(); ++e) {
      if (entries[i][e].first == entries[i][e - 1].first) dropped.insert(entries[i][e].second);
    }
  }
  if (!dropped.empty()) {
    index_.MarkDirty();
    for (std::uint32_t rid : dropped) data_.Remove(rid);
    for (auto& list : entries) {
      std::erase_if(list, [&](const auto& entry) { return dropped.count(entry.second) != 0; });
    }
  }
  // The trees are marked finished only over durable rows.
  data_.Sync();
  index_.Rebuild(entries);
}

std::vector<std::uint32_t> TDataTable::ReadEveryRow(std::size_t index,
                                                    const std::function<void(const TRow&)>& visit) {
  // The rows come in file order, the places along the tree; both are sorted by record id and
  // joined, so that no row is looked up at random.
  std::vector<TRidAnd> rows;
  rows.reserve(RowCount());
  data_.ForEach([&](const TRow& row) {
    rows.push_back({row.Rid, static_cast<std::uint32_t>(rows.size())});
    visit(row);
  });
  std::vector<TRidAnd> places;
  places.reserve(rows.size());
  TIndexFile::TPosition position = index_.AtRank(index, 0);
  for (bool more = !index_.AtEnd(position); more; more = index_.Next(position))
    places.push_back({index_.RidAt(position), static_cast<std::uint32_t>(places.size())});
  if (places.size() != rows.size()) throw StoreError(kErrDamaged, {name_});
  SortByRid(rows);
  SortByRid(places);
  std::vector<std::uint32_t> rowOfPlace(places.size());
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (places[i].Rid != rows[i].Rid) throw StoreError(kErrDamaged, {name_});
    rowOfPlace[places[i].Number] = rows[i].Number;
  }
  return rowOfPlace;
}

int TDataTable::FieldNumber(std::string_view name) const {
  const auto& fields = data_.Fields();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (SameName(fields[i].Name, name)) return static_cast<int>(i);
  }
  return -1;
}

bool TDataTable::IsUnique(std::size_t index) const {
  return (Index(index).Options & (ixUnique | ixPrimary)) != 0;
}

int TDataTable::IndexNumber(std::string_view name) const {
  for (std::size_t i = 0; i < IndexCount(); ++i) {
    const auto& info = Index(i);
    bool primary = (info.Options & ixPrimary) != 0;
    if (name.empty() ? primary : SameName(info.Name, name)) return static_cast<int>(i);
  }
  return -1;
}

// A text is its bytes and a terminating zero byte rather than zeros up to the full width: two
// texts compare the same either way, since no stored text holds a zero byte. A null value is
// its flag byte alone, equal to every other null of the field.
TDataTable::TKey TDataTable::BuildKey(std::size_t index, const std::vector<TFieldValue>& values,
                                      std::uint32_t rid) const {
  const auto& info = Index(index);
  const auto& fields = data_.Fields();
  bool descending = (info.Options & ixDescending) != 0;
  bool caseless = (info.Options & ixCaseInsensitive) != 0;
  TKey key;
  for (std::uint16_t number : info.Fields) {
    const TFieldValue& value = values[number];
    if (std::holds_alternative<std::monostate>(value)) {
      key.push_back(0);
      continue;
    }
    key.push_back(1);
    std::uint8_t invert = descending ? 0xFF : 0x00;
    switch (fields[number].DataType) {
      case TFieldType::ftString: {
        for (char c : std::get<std::string>(value)) {
          auto b = static_cast<std::uint8_t>(c);
          key.push_back(static_cast<std::uint8_t>((caseless ? Upper(b) : b) ^ invert));
        }
        key.push_back(invert);
        break;
      }
      case TFieldType::ftInteger: {
        auto bits = static_cast<std::uint32_t>(std::get<std::int32_t>(value)) ^ 0x80000000u;
        PutBigEndian(key, bits, 4, descending);
        break;
      }
      case TFieldType::ftDateTime: {
        double ms = StoredMsOf(std::get<double>(value));
        auto bits = std::bit_cast<std::uint64_t>(ms);
        bits = ms >= 0 ? bits | 0x8000000000000000ull : ~bits;
        PutBigEndian(key, bits, 8, descending);
        break;
      }
    }
  }
  if (!IsUnique(index)) PutBigEndian(key, rid ^ 0x80000000u, 4, false);
  return key;
}

std::size_t TDataTable::FieldsPart(std::size_t index, std::span<const std::uint8_t> key) const {
  return IsUnique(index) || key.size() < 4 ? key.size() : key.size() - 4;
}

void TDataTable::RequireWritable() const {
  if (!Writable()) throw StoreError(kErrAccessDenied, {name_});
}

void TDataTable::CheckUnique(const std::vector<TFieldValue>& values, std::uint32_t rid) {
  for (std::size_t i = 0; i < IndexCount(); ++i) {
    if (!IsUnique(i)) continue;
    TKey key = BuildKey(i, values, rid);
    auto position = index_.LowerBound(i, key);
    if (index_.AtEnd(position)) continue;
    auto found = index_.KeyAt(position);
    if (std::equal(found.begin(), found.end(), key.begin(), key.end()) && index_.RidAt(position) != rid) {
      throw StoreError(kErrDuplicateKey, {Index(i).Name, name_});
    }
  }
}

void TDataTable::BeginChange() {
  RequireWritable();
  changedSinceOpen_ = true;
  checked_ = false;
  index_.MarkDirty();
}

void TDataTable::EndChange() {
  broken_ = false;
  const TSyncPolicy& policy = SyncPolicy();
  if (++changesSinceSync_ >= policy.MaxChanges || data_.MuchRoomWaiting() ||
      std::chrono::steady_clock::now() - lastSync_ >= policy.MaxDelay) {
    Sync();
  }
}

void TDataTable::Insert(TRow& row) {
  RequireWritable();
  CheckUnique(row.Values, 0);
  BeginChange();
  broken_ = true;
  data_.Insert(row);
  for (std::size_t i = 0; i < IndexCount(); ++i) index_.Insert(i, BuildKey(i, row.Values, row.Rid), row.Rid);
  EndChange();
}

void TDataTable::Update(const TRow& before, const TRow& after) {
  RequireWritable();
  CheckUnique(after.Values, after.Rid);
  BeginChange();
  broken_ = true;
  data_.Update(after);
  for (std::size_t i = 0; i < IndexCount(); ++i) {
    TKey oldKey = BuildKey(i, before.Values, before.Rid);
    TKey newKey = BuildKey(i, after.Values, after.Rid);
    if (oldKey == newKey) continue;
    index_.Remove(i, oldKey);
    index_.Insert(i, newKey, after.Rid);
  }
  EndChange();
}

void TDataTable::Remove(std::uint32_t rid) {
  RequireWritable();
  TRow row;
  data_.Read(rid, row);
  BeginChange();
  broken_ = true;
  data_.Remove(rid);
  for (std::size_t i = 0; i < IndexCount(); ++i) index_.Remove(i, BuildKey(i, row.Values, rid));
  EndChange();
}

void TDataTable::Empty() {
  BeginChange();
  broken_ = true;
  data_.Empty();
  index_.Rebuild(std::vector<std::vector<std::pair<TKey, std::uint32_t>>>(IndexCount()));
  broken_ = false;
}

}  // namespace velquin::store

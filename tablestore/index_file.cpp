// The index file (.IDX) of a table.
//
// Page 0, the header (all integers little-endian):
//   offset  size  content
//   0       8     kIndexMagic "VQTBLIDX"
//   8       4     format version: kIndexVersion, the data file's (which alone tells a newer
//                 table); an index file of another version is made again from the data file
//   12      4     page size: a power of two, 8 KB .. 64 KB, chosen when the file is made as the
//                 least whose entries may hold the longest key of any of its indexes
//   16      4     index count n, 1..kMaxIndexes; the primary index first
//   20      4     dirty: 1 from the first change after an open until the close that follows
//   24      4     first free page, 0 when none
//   28      4     Checksum32 of the header bytes (64 + 96 * n) with this field taken as 0
//   32      32    zero
//   64      96*n  index definitions: name (32 bytes, NUL-padded), options (1), field count f
//                 (1, 1..kMaxIndexFields), zero (2), field numbers (16 x 2), root page (4),
//                 depth (4, 1..kMaxDepth: 1 when the root is a leaf), zero (20)
//
// Every other page, page size bytes:
//   0       1     kind: kLeafPage, kInteriorPage, kFreePage
//   1       1     zero
//   2       2     entry count
//   4       2     bytes of entries, which follow the 16-byte page header back to back, in key order
//   6       2     zero
//   8       4     next free page (free pages only)
//   12      4     Checksum32 of the page header (this field taken as 0) and its entry bytes,
//                 the counts of interior entries taken as 0
//   16      ...   leaf entry:     key length (2), record id (4), key bytes
//                 interior entry: key length (2), child page (4), keys under the child (4), key
//                 bytes: the least key under the child when it was made (ignored in entry 0)
//
// Keys are stored without padding and compared as unsigned bytes, shorter first on a tie: the
// key encoding (see TDataTable) makes that order the order of the padded keys.
//
// Every change is written through before it returns. The dirty flag is written and flushed before
// the first change after an open, and cleared by a clean close once the trees are flushed, so trees
// that a crash or a power loss may have left half changed are rebuilt from the data file by the
// next check and repair. Pages read back are
// checked (checksum, kinds, lengths, page numbers against the file, depth) before use, and a
// check walks every page, so a damaged page makes the trees be rebuilt.
#include "tablestore/index_file.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "tablestore/checksum.h"
#include "tablestore/coding.h"
#include "tablestore/store_error_codes.h"
#include "tablestore/store_limits.h"

namespace velquin::store {
namespace {

constexpr char kIndexMagic[8] = {'V', 'Q', 'T', 'B', 'L', 'I', 'D', 'X'};
constexpr std::uint32_t kIndexVersion = 2;
constexpr std::uint32_t kMinPageSize = 8192;
constexpr std::uint32_t kMaxPageSize = 65536;
constexpr std::uint32_t kMaxDepth = 24;
constexpr std::uint8_t kLeafPage = 1;
constexpr std::uint8_t kInteriorPage = 2;
constexpr std::uint8_t kFreePage = 3;
constexpr std::uint32_t kPageHeader = 16;
constexpr std::uint32_t kLeafEntryHeader = 6;
constexpr std::uint32_t kInteriorEntryHeader = 10;

// Views that name the fields of the layouts above at a byte pointer: B is std::uint8_t for a view
// that writes, const std::uint8_t for one that only reads.

// One index definition of the header.
template <typename B>
class TIndexDefView {
 public:
  static constexpr std::size_t kNameBytes = 32;
  static constexpr std::size_t kOptionsAt = 32, kFieldCountAt = 33, kFieldsAt = 36, kRootAt = 68,
                               kDepthAt = 72;
  explicit TIndexDefView(B* p) : p_(p) {}
  std::string Name() const {
    const char* name = reinterpret_cast<const char*>(p_);
    return std::string(name, strnlen(name, kNameBytes));
  }
  TIndexOptions Options() const { return p_[kOptionsAt]; }
  std::uint32_t FieldCount() const { return p_[kFieldCountAt]; }
  std::uint16_t Field(std::size_t f) const { return Get16(p_ + kFieldsAt + 2 * f); }
  std::uint32_t Root() const { return Get32(p_ + kRootAt); }
  std::uint32_t Depth() const { return Get32(p_ + kDepthAt); }

  // The name is cut to leave its NUL.
  void SetName(const std::string& name) const {
    std::memcpy(p_, name.data(), std::min(name.size(), kNameBytes - 1));
  }
  void SetOptions(TIndexOptions options) const { p_[kOptionsAt] = options; }
  void SetFieldCount(std::size_t count) const { p_[kFieldCountAt] = static_cast<std::uint8_t>(count); }
  void SetField(std::size_t f, std::uint16_t field) const { Put16(p_ + kFieldsAt + 2 * f, field); }
  void SetRoot(std::uint32_t page) const { Put32(p_ + kRootAt, page); }
  void SetDepth(std::uint32_t depth) const { Put32(p_ + kDepthAt, depth); }

 private:
  B* p_;
};

// Page 0: the fixed fields and the index definitions.
template <typename B>
class THeaderView {
 public:
  static constexpr std::uint32_t kDefsAt = 64;
  static constexpr std::uint32_t kDefSize = 96;
  // The bytes the header and the checksum cover with `indexes` definitions.
  static constexpr std::size_t SizeFor(std::size_t indexes) { return kDefsAt + kDefSize * indexes; }
  static constexpr std::size_t kVersionAt = 8, kPageSizeAt = 12, kIndexCountAt = 16, kDirtyAt = 20,
                               kFreeHeadAt = 24, kChecksumAt = 28;

  explicit THeaderView(B* p) : p_(p) {}
  bool HasMagic() const { return std::memcmp(p_, kIndexMagic, sizeof kIndexMagic) == 0; }
  std::uint32_t Version() const { return Get32(p_ + kVersionAt); }
  std::uint32_t PageSize() const { return Get32(p_ + kPageSizeAt); }
  std::uint32_t IndexCount() const { return Get32(p_ + kIndexCountAt); }
  bool Dirty() const { return Get32(p_ + kDirtyAt) != 0; }
  std::uint32_t FreeHead() const { return Get32(p_ + kFreeHeadAt); }
  std::uint32_t Checksum() const { return Get32(p_ + kChecksumAt); }
  TIndexDefView<B> Def(std::size_t i) const { return TIndexDefView<B>(p_ + kDefsAt + kDefSize * i); }

  void SetMagic() const { std::memcpy(p_, kIndexMagic, sizeof kIndexMagic); }
  void SetVersion(std::uint32_t version) const { Put32(p_ + kVersionAt, version); }
  void SetPageSize(std::uint32_t pageSize) const { Put32(p_ + kPageSizeAt, pageSize); }
  void SetIndexCount(std::size_t count) const {
    Put32(p_ + kIndexCountAt, static_cast<std::uint32_t>(count));
  }
  void SetDirty(bool dirty) const { Put32(p_ + kDirtyAt, dirty ? 1 : 0); }
  void SetFreeHead(std::uint32_t page) const { Put32(p_ + kFreeHeadAt, page); }
  void SetChecksum(std::uint32_t checksum) const { Put32(p_ + kChecksumAt, checksum); }

 private:
  B* p_;
};

// An entry of a tree page; the record id is a leaf's, the child page and its count an interior
// entry's.
template <typename B>
class TEntryView {
 public:
  static constexpr std::uint32_t kRidAt = 2, kChildAt = 2, kCountAt = 6;
  static constexpr std::uint32_t HeaderOf(bool leaf) {
    return leaf ? kLeafEntryHeader : kInteriorEntryHeader;
  }

  explicit TEntryView(B* p) : p_(p) {}
  std::uint32_t KeyLength() const { return Get16(p_); }
  std::uint32_t Size(bool leaf) const { return HeaderOf(leaf) + KeyLength(); }
  std::span<B> Key(bool leaf) const { return {p_ + HeaderOf(leaf), KeyLength()}; }
  std::uint32_t Rid() const { return Get32(p_ + kRidAt); }
  std::uint32_t Child() const { return Get32(p_ + kChildAt); }
  std::uint32_t Count() const { return Get32(p_ + kCountAt); }

  void SetKeyLength(std::size_t length) const { Put16(p_, static_cast<std::uint32_t>(length)); }
  void SetRid(std::uint32_t rid) const { Put32(p_ + kRidAt, rid); }
  void SetChild(std::uint32_t page) const { Put32(p_ + kChildAt, page); }
  void SetCount(std::uint32_t count) const { Put32(p_ + kCountAt, count); }

 private:
  B* p_;
};

// The 16-byte header of a tree or free page, and the entries after it.
template <typename B>
class TPageView {
 public:
  static constexpr std::uint32_t kKindAt = 0, kEntryCountAt = 2, kUsedBytesAt = 4, kNextFreeAt = 8,
                                 kChecksumAt = 12;
  explicit TPageView(B* p) : p_(p) {}
  std::uint8_t Kind() const { return p_[kKindAt]; }
  std::uint32_t EntryCount() const { return Get16(p_ + kEntryCountAt); }
  std::uint32_t UsedBytes() const { return Get16(p_ + kUsedBytesAt); }
  std::uint32_t NextFree() const { return Get32(p_ + kNextFreeAt); }
  std::uint32_t Checksum() const { return Get32(p_ + kChecksumAt); }
  // The entry at byte `offset` of the page (the first at kPageHeader).
  TEntryView<B> EntryAt(std::uint32_t offset) const { return TEntryView<B>(p_ + offset); }

  void SetKind(std::uint8_t kind) const { p_[kKindAt] = kind; }
  void SetEntryCount(std::uint32_t count) const { Put16(p_ + kEntryCountAt, count); }
  void SetUsedBytes(std::uint32_t used) const { Put16(p_ + kUsedBytesAt, used); }
  void SetNextFree(std::uint32_t page) const { Put32(p_ + kNextFreeAt, page); }
  void SetChecksum(std::uint32_t checksum) const { Put32(p_ + kChecksumAt, checksum); }

 private:
  B* p_;
};

int Compare(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::uint32_t HeaderOf(bool leaf) { return TEntryView<const std::uint8_t>::HeaderOf(leaf); }
std::uint32_t EntryCount(const std::uint8_t* p) { return TPageView(p).EntryCount(); }
std::uint32_t UsedBytes(const std::uint8_t* p) { return TPageView(p).UsedBytes(); }
std::uint32_t EntrySize(const std::uint8_t* p, std::uint32_t offset, bool leaf) {
  return TEntryView(p + offset).Size(leaf);
}
std::span<const std::uint8_t> KeyOf(const std::uint8_t* p, std::uint32_t offset, bool leaf) {
  return TEntryView(p + offset).Key(leaf);
}

// Writes an entry at `p`; returns its size.
std::uint32_t PutLeafEntry(std::uint8_t* p, std::span<const std::uint8_t> key, std::uint32_t rid) {
  TEntryView entry(p);
  entry.SetKeyLength(key.size());
  entry.SetRid(rid);
  std::memcpy(p + kLeafEntryHeader, key.data(), key.size());
  return kLeafEntryHeader + static_cast<std::uint32_t>(key.size());
}
std::uint32_t PutInteriorEntry(std::uint8_t* p, std::span<const std::uint8_t> key, std::uint32_t child,
                               std::uint32_t count) {
  TEntryView entry(p);
  entry.SetKeyLength(key.size());
  entry.SetChild(child);
  entry.SetCount(count);
  // Entry 0 of a new root has no key, and no bytes to copy it from.
  if (!key.empty()) std::memcpy(p + kInteriorEntryHeader, key.data(), key.size());
  return kInteriorEntryHeader + static_cast<std::uint32_t>(key.size());
}

// The checksum of a page as stored in its header. It leaves out the counts of interior entries,
// which change with every insert and delete below them: those are written alone, and a check
// compares each with the keys under its child instead.
std::uint32_t PageChecksum(const std::uint8_t* p, std::uint32_t pageSize) {
  const TPageView page(p);
  std::uint32_t used =
      page.Kind() == kFreePage ? 0 : std::min<std::uint32_t>(page.UsedBytes(), pageSize - kPageHeader);
  std::uint8_t head[kPageHeader];
  std::memcpy(head, p, kPageHeader);
  TPageView(head).SetChecksum(0);
  if (page.Kind() != kInteriorPage) return Checksum32(head, kPageHeader) ^ Checksum32(p + kPageHeader, used);
  std::vector<std::uint8_t> copy(p, p + kPageHeader + used);
  std::memcpy(copy.data(), head, kPageHeader);
  for (std::uint32_t offset = kPageHeader; offset + kInteriorEntryHeader <= kPageHeader + used;
       offset += EntrySize(copy.data(), offset, false)) {
    TEntryView(copy.data() + offset).SetCount(0);
  }
  return Checksum32(copy.data(), kPageHeader + used);
}

void Seal(std::uint8_t* p, std::uint32_t pageSize) { TPageView(p).SetChecksum(PageChecksum(p, pageSize)); }

std::uint32_t OffsetOf(const std::uint8_t* p, std::uint32_t entry, bool leaf) {
  std::uint32_t offset = kPageHeader;
  for (std::uint32_t i = 0; i < entry; ++i) offset += EntrySize(p, offset, leaf);
  return offset;
}

}  // namespace

std::uint32_t TIndexFile::PageSizeFor(std::size_t longestKey) {
  std::uint32_t pageSize = kMinPageSize;
  while (pageSize < kMaxPageSize && MaxKeyLengthOf(pageSize) < longestKey) pageSize *= 2;
  return pageSize;
}

void TIndexFile::Create(TPhysicalFile& file, const std::vector<TIndexInfo>& indexes, std::uint32_t pageSize) {
  TIndexFile index;
  index.file_ = &file;
  index.pageSize_ = pageSize;
  index.indexes_ = indexes;
  index.counts_.assign(indexes.size(), 0);
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    index.indexes_[i].Root = static_cast<std::uint32_t>(1 + i);
    index.indexes_[i].Depth = 1;
  }
  index.WriteHeader();
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    std::vector<std::uint8_t> page(pageSize, 0);
    TPageView(page.data()).SetKind(kLeafPage);
    Seal(page.data(), pageSize);
    file.WriteAt(std::uint64_t{pageSize} * (1 + i), page.data(), page.size());
  }
}

void TIndexFile::Attach(TPhysicalFile& file, const std::string& table) {
  file_ = &file;
  table_ = table;
  pages_.clear();
  offsets_.clear();
  indexes_.clear();
  counts_.clear();
  ++version_;
  auto damaged = [&] { return StoreError(kErrDamaged, {table_}); };
  if (file.Size() < kMinPageSize) throw damaged();
  std::vector<std::uint8_t> bytes(kMinPageSize);
  file.ReadAt(0, bytes.data(), kMinPageSize);
  const THeaderView header(bytes.data());
  std::uint32_t count = header.IndexCount();
  const std::uint32_t pageSize = header.PageSize();
  if (!header.HasMagic() || header.Version() != kIndexVersion || pageSize < kMinPageSize ||
      pageSize > kMaxPageSize || !std::has_single_bit(pageSize) || file.Size() < pageSize || count == 0 ||
      count > kMaxIndexes) {
    throw damaged();
  }
  pageSize_ = pageSize;
  std::uint32_t stored = header.Checksum();
  header.SetChecksum(0);
  if (!ChecksumAccepted(stored, Checksum32(bytes.data(), header.SizeFor(count)))) throw damaged();
  pages_.resize(PageCount());
  dirty_ = header.Dirty();
  freeHead_ = header.FreeHead();
  if (freeHead_ >= PageCount()) freeHead_ = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto def = header.Def(i);
    TIndexInfo info;
    info.Name = def.Name();
    info.Options = def.Options();
    std::uint32_t fields = def.FieldCount();
    if (fields == 0 || fields > kMaxIndexFields) throw damaged();
    for (std::uint32_t f = 0; f < fields; ++f) info.Fields.push_back(def.Field(f));
    info.Root = def.Root();
    info.Depth = def.Depth();
    indexes_.push_back(std::move(info));
  }
  // Trees are read lazily; their counts come from the roots, which a damaged file may spoil:
  // such a tree counts as empty until repaired.
  counts_.assign(count, 0);
  for (std::uint32_t i = 0; i < count; ++i) {
    TIndexInfo& info = indexes_[i];
    if (info.Root == 0 || info.Root >= PageCount() || info.Depth == 0 || info.Depth > kMaxDepth) {
      dirty_ = true;
      continue;
    }
    try {
      const std::vector<std::uint8_t>& root = Page(info.Root, info.Depth == 1);
      std::uint64_t total = 0;
      if (info.Depth == 1) {
        total = EntryCount(root.data());
      } else {
        std::uint32_t offset = kPageHeader;
        for (std::uint32_t e = 0; e < EntryCount(root.data()); ++e) {
          const TEntryView entry(root.data() + offset);
          total += entry.Count();
          offset += entry.Size(false);
        }
      }
      counts_[i] = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, 0xFFFFFFFFu));
    } catch (const EStoreError&) {
      dirty_ = true;
    }
  }
}

std::uint32_t TIndexFile::PageCount() const {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(file_->Size() / pageSize_, 0x7FFFFFFF));
}

void TIndexFile::WriteHeader() {
  std::vector<std::uint8_t> bytes(THeaderView<std::uint8_t>::SizeFor(indexes_.size()), 0);
  const THeaderView header(bytes.data());
  header.SetMagic();
  header.SetVersion(kIndexVersion);
  header.SetPageSize(pageSize_);
  header.SetIndexCount(indexes_.size());
  header.SetDirty(dirty_);
  header.SetFreeHead(freeHead_);
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    const auto def = header.Def(i);
    const TIndexInfo& info = indexes_[i];
    def.SetName(info.Name);
    def.SetOptions(info.Options);
    def.SetFieldCount(info.Fields.size());
    for (std::size_t f = 0; f < info.Fields.size(); ++f) def.SetField(f, info.Fields[f]);
    def.SetRoot(info.Root);
    def.SetDepth(info.Depth);
  }
  header.SetChecksum(Checksum32(bytes.data(), bytes.size()));
  file_->WriteAt(0, bytes.data(), bytes.size());
}

void TIndexFile::MarkDirty() {
  if (dirty_) return;
  dirty_ = true;
  WriteHeader();
  file_->Sync();
}

void TIndexFile::MarkClean() {
  if (!dirty_) return;
  file_->Sync();
  dirty_ = false;
  WriteHeader();
  file_->Sync();
}

std::vector<std::uint8_t>* TIndexFile::LoadPage(std::uint32_t number) {
  if (number == 0 || number >= pages_.size()) throw StoreError(kErrDamaged, {table_});
  std::vector<std::uint8_t>& page = pages_[number];
  if (!page.empty()) return &page;
  std::vector<std::uint8_t> bytes(pageSize_);
  file_->ReadAt(std::uint64_t{number} * pageSize_, bytes.data(), pageSize_);
  const std::uint8_t* p = bytes.data();
  const TPageView view(p);
  auto damaged = [&] { return StoreError(kErrDamaged, {table_}); };
  if (!ChecksumAccepted(view.Checksum(), PageChecksum(p, pageSize_))) throw damaged();
  if (view.Kind() == kLeafPage || view.Kind() == kInteriorPage) {
    bool leaf = view.Kind() == kLeafPage;
    std::uint32_t used = view.UsedBytes();
    std::uint32_t count = view.EntryCount();
    if (used > pageSize_ - kPageHeader || (!leaf && count == 0)) throw damaged();
    std::uint32_t offset = kPageHeader;
    for (std::uint32_t e = 0; e < count; ++e) {
      if (offset + HeaderOf(leaf) > kPageHeader + used) throw damaged();
      const TEntryView entry = view.EntryAt(offset);
      std::uint32_t size = entry.Size(leaf);
      if (entry.KeyLength() > MaxKeyLengthOf(pageSize_) || offset + size > kPageHeader + used)
        throw damaged();
      if (!leaf && (entry.Child() == 0 || entry.Child() >= pages_.size())) throw damaged();
      offset += size;
    }
    if (offset != kPageHeader + used) throw damaged();
  } else if (view.Kind() != kFreePage) {
    throw damaged();
  }
  page = std::move(bytes);
  return &page;
}

std::vector<std::uint8_t>& TIndexFile::Page(std::uint32_t number, bool leaf) {
  std::vector<std::uint8_t>* page = LoadPage(number);
  if (TPageView(page->data()).Kind() != (leaf ? kLeafPage : kInteriorPage))
    throw StoreError(kErrDamaged, {table_});
  return *page;
}

std::uint32_t TIndexFile::AllocatePage() {
  if (freeHead_ != 0) {
    std::uint32_t number = freeHead_;
    std::vector<std::uint8_t>* page = LoadPage(number);
    const TPageView free(page->data());
    std::uint32_t next = free.NextFree();
    if (free.Kind() != kFreePage || next >= pages_.size() || next == number)
      throw StoreError(kErrDamaged, {table_});
    freeHead_ = next;
    WriteHeader();
    std::fill(page->begin(), page->end(), 0);
    Forget(number);
    return number;
  }
  std::uint32_t number = static_cast<std::uint32_t>(pages_.size());
  pages_.emplace_back(pageSize_, 0);
  return number;
}

void TIndexFile::FreePage(std::uint32_t number) {
  Forget(number);
  std::vector<std::uint8_t>& page = *LoadPage(number);
  std::fill(page.begin(), page.end(), 0);
  TPageView(page.data()).SetKind(kFreePage);
  TPageView(page.data()).SetNextFree(freeHead_);
  Seal(page.data(), pageSize_);
  file_->WriteAt(std::uint64_t{number} * pageSize_, page.data(), pageSize_);
  freeHead_ = number;
  WriteHeader();
}

void TIndexFile::WritePage(std::uint32_t number) {
  Forget(number);
  std::vector<std::uint8_t>& page = pages_[number];
  Seal(page.data(), pageSize_);
  std::uint64_t offset = std::uint64_t{number} * pageSize_;
  // A page at the end of the file is written whole, so the file always holds whole pages.
  std::size_t length = offset + pageSize_ > file_->Size() ? pageSize_ : kPageHeader + UsedBytes(page.data());
  file_->WriteAt(offset, page.data(), length);
}

void TIndexFile::Descend(std::size_t index, std::span<const std::uint8_t> key, TPosition& position) {
  const TIndexInfo& info = indexes_.at(index);
  position.Path.clear();
  position.Rank = 0;
  position.Version = version_;
  std::uint32_t number = info.Root;
  for (std::uint32_t level = 0; level < info.Depth; ++level) {
    bool leaf = level + 1 == info.Depth;
    const std::uint8_t* p = Page(number, leaf).data();
    std::uint32_t count = EntryCount(p);
    const std::uint16_t* offsets = Offsets(number).data();
    // The first entry whose key is greater than `key` (leaf: not less than it).
    std::uint32_t low = leaf ? 0 : 1;
    std::uint32_t high = count;
    while (low < high) {
      std::uint32_t middle = (low + high) / 2;
      int c = Compare(KeyOf(p, offsets[middle], leaf), key);
      if (leaf ? c < 0 : c <= 0) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    if (leaf) {
      position.Path.push_back({number, low});
      position.Rank += low;
      return;
    }
    std::uint32_t chosen = low - 1;
    for (std::uint32_t e = 0; e < chosen; ++e) position.Rank += TEntryView(p + offsets[e]).Count();
    position.Path.push_back({number, chosen});
    number = TEntryView(p + offsets[chosen]).Child();
  }
}

void TIndexFile::DescendLeftmost(TPosition& position, std::size_t fromLevel) {
  std::size_t depth = position.Path.size();
  for (std::size_t level = fromLevel; level < depth; ++level) {
    const TPosition::TStep& parent = position.Path[level - 1];
    const std::uint8_t* p = Page(parent.Page, false).data();
    std::uint32_t child = TEntryView(p + OffsetOf(p, parent.Entry, false)).Child();
    Page(child, level + 1 == depth);
    position.Path[level] = {child, 0};
  }
}

void TIndexFile::DescendRightmost(TPosition& position, std::size_t fromLevel) {
  std::size_t depth = position.Path.size();
  for (std::size_t level = fromLevel; level < depth; ++level) {
    const TPosition::TStep& parent = position.Path[level - 1];
    const std::uint8_t* p = Page(parent.Page, false).data();
    std::uint32_t child = TEntryView(p + OffsetOf(p, parent.Entry, false)).Child();
    const std::uint8_t* c = Page(child, level + 1 == depth).data();
    std::uint32_t count = EntryCount(c);
    if (count == 0) throw StoreError(kErrDamaged, {table_});
    position.Path[level] = {child, count - 1};
  }
}

TIndexFile::TPosition TIndexFile::LowerBound(std::size_t index, std::span<const std::uint8_t> key) {
  TPosition position;
  Descend(index, key, position);
  if (AtEnd(position)) {
    // The least key not less than `key` may open the next leaf.
    std::size_t depth = position.Path.size();
    for (std::size_t level = depth - 1; level-- > 0;) {
      TPosition::TStep& step = position.Path[level];
      if (step.Entry + 1 < EntryCount(Page(step.Page, false).data())) {
        ++step.Entry;
        DescendLeftmost(position, level + 1);
        break;
      }
    }
  }
  return position;
}

TIndexFile::TPosition TIndexFile::AtRank(std::size_t index, std::uint32_t rank) {
  const TIndexInfo& info = indexes_.at(index);
  TPosition position;
  position.Version = version_;
  position.Rank = rank;
  std::uint32_t number = info.Root;
  std::uint32_t left = rank;
  for (std::uint32_t level = 0; level < info.Depth; ++level) {
    bool leaf = level + 1 == info.Depth;
    const std::uint8_t* p = Page(number, leaf).data();
    std::uint32_t count = EntryCount(p);
    if (leaf) {
      position.Path.push_back({number, std::min(left, count)});
      break;
    }
    std::uint32_t offset = kPageHeader;
    std::uint32_t e = 0;
    for (; e + 1 < count; ++e) {
      std::uint32_t under = TEntryView(p + offset).Count();
      if (left < under) break;
      left -= under;
      offset += EntrySize(p, offset, false);
    }
    position.Path.push_back({number, e});
    number = TEntryView(p + offset).Child();
  }
  return position;
}

bool TIndexFile::AtEnd(const TPosition& position) {
  const TPosition::TStep& leaf = position.Path.back();
  return leaf.Entry >= EntryCount(Page(leaf.Page, true).data());
}

bool TIndexFile::Next(TPosition& position) {
  if (AtEnd(position)) return false;
  TPosition::TStep& leaf = position.Path.back();
  if (leaf.Entry + 1 < EntryCount(Page(leaf.Page, true).data())) {
    ++leaf.Entry;
    ++position.Rank;
    return true;
  }
  for (std::size_t level = position.Path.size() - 1; level-- > 0;) {
    TPosition::TStep& step = position.Path[level];
    if (step.Entry + 1 < EntryCount(Page(step.Page, false).data())) {
      TPosition saved = position;
      ++step.Entry;
      DescendLeftmost(position, level + 1);
      if (AtEnd(position)) {
        position = saved;
        return false;
      }
      ++position.Rank;
      return true;
    }
  }
  return false;
}

bool TIndexFile::Prior(TPosition& position) {
  TPosition::TStep& leaf = position.Path.back();
  if (leaf.Entry > 0) {
    leaf.Entry = std::min(leaf.Entry, EntryCount(Page(leaf.Page, true).data())) - 1;
    position.Rank = position.Rank > 0 ? position.Rank - 1 : 0;
    return true;
  }
  for (std::size_t level = position.Path.size() - 1; level-- > 0;) {
    TPosition::TStep& step = position.Path[level];
    if (step.Entry > 0) {
      --step.Entry;
      DescendRightmost(position, level + 1);
      position.Rank = position.Rank > 0 ? position.Rank - 1 : 0;
      return true;
    }
  }
  return false;
}

std::span<const std::uint8_t> TIndexFile::KeyAt(const TPosition& position) {
  const TPosition::TStep& leaf = position.Path.back();
  const std::uint8_t* p = Page(leaf.Page, true).data();
  if (leaf.Entry >= EntryCount(p)) throw StoreError(kErrDamaged, {table_});
  return KeyOf(p, Offsets(leaf.Page)[leaf.Entry], true);
}

std::uint32_t TIndexFile::RidAt(const TPosition& position) {
  const TPosition::TStep& leaf = position.Path.back();
  const std::uint8_t* p = Page(leaf.Page, true).data();
  if (leaf.Entry >= EntryCount(p)) throw StoreError(kErrDamaged, {table_});
  return TEntryView(p + Offsets(leaf.Page)[leaf.Entry]).Rid();
}

const std::vector<std::uint16_t>& TIndexFile::Offsets(std::uint32_t number) {
  if (offsets_.size() < pages_.size()) offsets_.resize(pages_.size());
  std::vector<std::uint16_t>& offsets = offsets_[number];
  const std::uint8_t* p = pages_[number].data();
  std::uint32_t count = EntryCount(p);
  if (offsets.size() != count) {
    offsets.resize(count);
    bool leaf = TPageView(p).Kind() == kLeafPage;
    std::uint32_t offset = kPageHeader;
    for (std::uint32_t e = 0; e < count; ++e) {
      offsets[e] = static_cast<std::uint16_t>(offset);
      offset += EntrySize(p, offset, leaf);
    }
  }
  return offsets;
}

void TIndexFile::Forget(std::uint32_t number) {
  if (number < offsets_.size()) offsets_[number].clear();
}

void TIndexFile::CountAdd(std::uint32_t page, std::uint32_t entry, std::int64_t delta) {
  std::uint8_t* p = Page(page, false).data();
  std::uint32_t offset = OffsetOf(p, entry, false);
  const TEntryView counted(p + offset);
  counted.SetCount(static_cast<std::uint32_t>(counted.Count() + delta));
  // The count alone: it is left out of the page's checksum.
  offset += counted.kCountAt;
  file_->WriteAt(std::uint64_t{page} * pageSize_ + offset, p + offset, 4);
}

bool TIndexFile::InsertEntry(std::uint32_t page, std::uint32_t at, const TKey& entry, bool leaf,
                             TSplit& split) {
  std::vector<std::uint8_t>* bytes = &Page(page, leaf);
  std::uint8_t* p = bytes->data();
  std::uint32_t used = UsedBytes(p);
  std::uint32_t count = EntryCount(p);
  std::uint32_t offset = OffsetOf(p, at, leaf);
  std::uint32_t size = static_cast<std::uint32_t>(entry.size());
  if (kPageHeader + used + size <= pageSize_) {
    std::memmove(p + offset + size, p + offset, kPageHeader + used - offset);
    std::memcpy(p + offset, entry.data(), size);
    TPageView(p).SetEntryCount(count + 1);
    TPageView(p).SetUsedBytes(used + size);
    WritePage(page);
    return false;
  }
  std::vector<std::uint8_t> all;
  all.reserve(used + size);
  all.insert(all.end(), p + kPageHeader, p + offset);
  all.insert(all.end(), entry.begin(), entry.end());
  all.insert(all.end(), p + offset, p + kPageHeader + used);
  std::vector<std::uint32_t> starts;
  for (std::uint32_t o = 0; o < all.size(); o += TEntryView(&all[o]).Size(leaf)) starts.push_back(o);
  std::uint32_t n = static_cast<std::uint32_t>(starts.size());
  std::uint32_t keep;
  if (at == count) {
    keep = count;  // appending in key order: fill pages instead of halving them
  } else {
    keep = 1;
    while (keep + 1 < n && starts[keep] < all.size() / 2) ++keep;
  }
  std::uint32_t right = AllocatePage();
  bytes = &Page(page, leaf);
  std::uint8_t* l = bytes->data();
  std::uint32_t leftBytes = starts[keep];
  std::memcpy(l + kPageHeader, all.data(), leftBytes);
  TPageView(l).SetEntryCount(keep);
  TPageView(l).SetUsedBytes(leftBytes);
  std::uint8_t* r = pages_[right].data();
  TPageView(r).SetKind(leaf ? kLeafPage : kInteriorPage);
  std::uint32_t rightBytes = static_cast<std::uint32_t>(all.size()) - leftBytes;
  std::memcpy(r + kPageHeader, all.data() + leftBytes, rightBytes);
  TPageView(r).SetEntryCount(n - keep);
  TPageView(r).SetUsedBytes(rightBytes);
  split.Page = right;
  auto key = KeyOf(r, kPageHeader, leaf);
  split.MinKey.assign(key.begin(), key.end());
  if (leaf) {
    split.Count = n - keep;
  } else {
    std::uint64_t total = 0;
    for (std::uint32_t e = keep; e < n; ++e) total += TEntryView(&all[starts[e]]).Count();
    split.Count = static_cast<std::uint32_t>(total);
  }
  // The new page first: until the parent names it, nothing refers to it.
  WritePage(right);
  WritePage(page);
  return true;
}

// Makes room for `entry` at place `at` of a full leaf by moving entries into a sibling under the
// same parent, so that leaves fill up before they split. Returns false, changing nothing, when
// neither sibling has the room or the parent cannot take the new separator.
bool TIndexFile::ShiftIntoSibling(const TPosition& position, std::uint32_t at, const TKey& entry) {
  if (position.Path.size() < 2) return false;
  const TPosition::TStep& leafStep = position.Path.back();
  const TPosition::TStep& parentStep = position.Path[position.Path.size() - 2];
  const std::uint32_t room = pageSize_ - kPageHeader;
  std::vector<std::uint8_t> all;
  std::vector<std::uint32_t> starts;
  {
    const std::uint8_t* p = Page(leafStep.Page, true).data();
    std::uint32_t offset = OffsetOf(p, at, true);
    all.assign(p + kPageHeader, p + offset);
    all.insert(all.end(), entry.begin(), entry.end());
    all.insert(all.end(), p + offset, p + kPageHeader + UsedBytes(p));
  }
  for (std::uint32_t o = 0; o < all.size(); o += TEntryView(&all[o]).Size(true)) starts.push_back(o);
  starts.push_back(static_cast<std::uint32_t>(all.size()));
  std::uint32_t n = static_cast<std::uint32_t>(starts.size() - 1);
  std::uint32_t total = static_cast<std::uint32_t>(all.size());

  std::uint8_t* parent = Page(parentStep.Page, false).data();
  std::uint32_t parentCount = EntryCount(parent);
  for (int side = 0; side < 2; ++side) {
    bool right = side == 0;
    if (right ? parentStep.Entry + 1 >= parentCount : parentStep.Entry == 0) continue;
    std::uint32_t siblingEntry = right ? parentStep.Entry + 1 : parentStep.Entry - 1;
    std::uint32_t siblingOffset = OffsetOf(parent, siblingEntry, false);
    std::uint32_t sibling = TEntryView(parent + siblingOffset).Child();
    std::uint32_t siblingUsed = UsedBytes(Page(sibling, true).data());
    // Split point k: entries [0, k) stay left, [k, n) go right; aim at equal fill.
    std::uint32_t target = (total + siblingUsed) / 2;
    std::uint32_t k = 1;
    if (right) {
      while (k + 1 < n && starts[k + 1] <= target) ++k;
      if (starts[k] > room || total - starts[k] > room - siblingUsed) continue;
    } else {
      target = total - target;
      while (k + 1 < n && starts[k] < target) ++k;
      if (starts[k] > room - siblingUsed || total - starts[k] > room) continue;
    }
    // The separator of the right-hand page of the two becomes the key of entry k.
    std::uint32_t separatorEntry = right ? siblingEntry : parentStep.Entry;
    std::uint32_t separatorOffset = OffsetOf(parent, separatorEntry, false);
    const TEntryView separator(parent + separatorOffset);
    std::uint32_t oldLength = separator.KeyLength();
    std::uint32_t newLength = TEntryView(&all[starts[k]]).KeyLength();
    if (UsedBytes(parent) + newLength > room + oldLength) continue;

    std::uint32_t moved = right ? n - k : k;
    std::uint8_t* s = Page(sibling, true).data();
    if (right) {
      std::memmove(s + kPageHeader + (total - starts[k]), s + kPageHeader, siblingUsed);
      std::memcpy(s + kPageHeader, all.data() + starts[k], total - starts[k]);
      TPageView(s).SetUsedBytes(siblingUsed + total - starts[k]);
    } else {
      std::memcpy(s + kPageHeader + siblingUsed, all.data(), starts[k]);
      TPageView(s).SetUsedBytes(siblingUsed + starts[k]);
    }
    TPageView(s).SetEntryCount(EntryCount(s) + moved);
    std::uint8_t* l = Page(leafStep.Page, true).data();
    std::uint32_t keepFrom = right ? 0 : starts[k];
    std::uint32_t keepBytes = right ? starts[k] : total - starts[k];
    std::memcpy(l + kPageHeader, all.data() + keepFrom, keepBytes);
    TPageView(l).SetEntryCount(n - moved);
    TPageView(l).SetUsedBytes(keepBytes);

    std::uint32_t used = UsedBytes(parent);
    std::uint32_t tail = separatorOffset + kInteriorEntryHeader + oldLength;
    std::memmove(parent + tail + newLength - oldLength, parent + tail, kPageHeader + used - tail);
    std::memcpy(parent + separatorOffset + kInteriorEntryHeader, &all[starts[k]] + kLeafEntryHeader,
                newLength);
    separator.SetKeyLength(newLength);
    TPageView(parent).SetUsedBytes(used + newLength - oldLength);
    const TEntryView siblingEntryView(parent + OffsetOf(parent, siblingEntry, false));
    const TEntryView leafEntryView(parent + OffsetOf(parent, parentStep.Entry, false));
    siblingEntryView.SetCount(siblingEntryView.Count() + moved);
    leafEntryView.SetCount(leafEntryView.Count() + 1 - moved);
    WritePage(sibling);
    WritePage(leafStep.Page);
    WritePage(parentStep.Page);
    return true;
  }
  return false;
}

void TIndexFile::Insert(std::size_t index, std::span<const std::uint8_t> key, std::uint32_t rid) {
  if (key.size() > MaxKeyLengthOf(pageSize_)) throw StoreError(kErrIndexLimits, {table_});
  TPosition position;
  Descend(index, key, position);
  ++version_;
  TKey entry(kLeafEntryHeader + key.size());
  PutLeafEntry(entry.data(), key, rid);
  TSplit split;
  const TPosition::TStep& leaf = position.Path.back();
  bool splitted = false;
  std::size_t counted = position.Path.size() - 1;  // levels above this one still need their +1
  if (kPageHeader + UsedBytes(Page(leaf.Page, true).data()) + entry.size() > pageSize_ &&
      ShiftIntoSibling(position, leaf.Entry, entry)) {
    counted = position.Path.size() - 2;
  } else {
    splitted = InsertEntry(leaf.Page, leaf.Entry, entry, true, split);
  }
  for (std::size_t level = counted; level-- > 0;) {
    const TPosition::TStep& step = position.Path[level];
    if (!splitted) {
      CountAdd(step.Page, step.Entry, 1);
      continue;
    }
    CountAdd(step.Page, step.Entry, 1 - std::int64_t{split.Count});
    TKey parentEntry(kInteriorEntryHeader + split.MinKey.size());
    PutInteriorEntry(parentEntry.data(), split.MinKey, split.Page, split.Count);
    TSplit up;
    splitted = InsertEntry(step.Page, step.Entry + 1, parentEntry, false, up);
    split = std::move(up);
  }
  TIndexInfo& info = indexes_[index];
  if (splitted) {
    if (info.Depth >= kMaxDepth) throw StoreError(kErrDamaged, {table_});
    std::uint32_t root = AllocatePage();
    std::uint8_t* r = pages_[root].data();
    std::uint32_t offset = kPageHeader;
    offset += PutInteriorEntry(r + offset, {}, info.Root, counts_[index] + 1 - split.Count);
    offset += PutInteriorEntry(r + offset, split.MinKey, split.Page, split.Count);
    const TPageView page(r);
    page.SetKind(kInteriorPage);
    page.SetEntryCount(2);
    page.SetUsedBytes(offset - kPageHeader);
    WritePage(root);
    info.Root = root;
    ++info.Depth;
    WriteHeader();
  }
  ++counts_[index];
}

bool TIndexFile::Remove(std::size_t index, std::span<const std::uint8_t> key) {
  TPosition position;
  Descend(index, key, position);
  const TPosition::TStep& leaf = position.Path.back();
  {
    std::uint8_t* p = Page(leaf.Page, true).data();
    if (leaf.Entry >= EntryCount(p)) return false;
    std::uint32_t offset = OffsetOf(p, leaf.Entry, true);
    if (Compare(KeyOf(p, offset, true), key) != 0) return false;
    ++version_;
    std::uint32_t size = EntrySize(p, offset, true);
    std::uint32_t used = UsedBytes(p);
    std::memmove(p + offset, p + offset + size, kPageHeader + used - offset - size);
    TPageView(p).SetEntryCount(EntryCount(p) - 1);
    TPageView(p).SetUsedBytes(used - size);
  }
  TIndexInfo& info = indexes_[index];
  bool dropChild = EntryCount(Page(leaf.Page, true).data()) == 0 && info.Depth > 1;
  if (dropChild) {
    FreePage(leaf.Page);
  } else {
    WritePage(leaf.Page);
  }
  for (std::size_t level = position.Path.size() - 1; level-- > 0;) {
    const TPosition::TStep& step = position.Path[level];
    if (!dropChild) {
      CountAdd(step.Page, step.Entry, -1);
      continue;
    }
    std::uint8_t* p = Page(step.Page, false).data();
    std::uint32_t offset = OffsetOf(p, step.Entry, false);
    std::uint32_t size = EntrySize(p, offset, false);
    std::uint32_t used = UsedBytes(p);
    std::memmove(p + offset, p + offset + size, kPageHeader + used - offset - size);
    TPageView(p).SetEntryCount(EntryCount(p) - 1);
    TPageView(p).SetUsedBytes(used - size);
    if (EntryCount(p) == 0 && level > 0) {
      FreePage(step.Page);
      continue;
    }
    if (EntryCount(p) == 0) {
      TPageView(p).SetKind(kLeafPage);  // the tree is empty: its root becomes an empty leaf
      info.Depth = 1;
      WritePage(step.Page);
      WriteHeader();
    } else {
      WritePage(step.Page);
    }
    dropChild = false;
  }
  while (info.Depth > 1) {
    const std::uint8_t* p = Page(info.Root, false).data();
    if (EntryCount(p) != 1) break;
    std::uint32_t child = TEntryView(p + kPageHeader).Child();
    std::uint32_t old = info.Root;
    info.Root = child;
    --info.Depth;
    WriteHeader();
    FreePage(old);
  }
  --counts_[index];
  return true;
}

void TIndexFile::Rebuild(const std::vector<std::vector<std::pair<TKey, std::uint32_t>>>& entries) {
  dirty_ = true;
  WriteHeader();
  file_->Sync();
  file_->Truncate(pageSize_);
  pages_.assign(1, {});
  offsets_.clear();
  freeHead_ = 0;
  ++version_;
  std::uint32_t flushedTo = 1;
  auto flush = [&](bool all) {
    std::uint32_t end = static_cast<std::uint32_t>(pages_.size());
    if (!all && end - flushedTo < 128) return;
    std::vector<std::uint8_t> run;
    run.reserve(std::size_t{end - flushedTo} * pageSize_);
    for (std::uint32_t n = flushedTo; n < end; ++n) {
      Seal(pages_[n].data(), pageSize_);
      run.insert(run.end(), pages_[n].begin(), pages_[n].end());
    }
    file_->WriteAt(std::uint64_t{flushedTo} * pageSize_, run.data(), run.size());
    flushedTo = end;
  };
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    struct TChild {
      std::uint32_t Page;
      TKey MinKey;
      std::uint32_t Count;
    };
    std::vector<TChild> level;
    auto newPage = [&](bool leaf) {
      pages_.emplace_back(pageSize_, 0);
      TPageView(pages_.back().data()).SetKind(leaf ? kLeafPage : kInteriorPage);
      return static_cast<std::uint32_t>(pages_.size() - 1);
    };
    // Where the next entry of a page goes, and the page's count of one written there.
    auto end = [&](std::uint32_t page) {
      std::uint8_t* p = pages_[page].data();
      return p + kPageHeader + UsedBytes(p);
    };
    auto appended = [&](std::uint32_t page, std::uint32_t size) {
      const TPageView view(pages_[page].data());
      view.SetEntryCount(view.EntryCount() + 1);
      view.SetUsedBytes(view.UsedBytes() + size);
    };
    std::uint32_t current = 0;
    for (const auto& [key, rid] : entries[i]) {
      if (current == 0 ||
          kPageHeader + UsedBytes(pages_[current].data()) + kLeafEntryHeader + key.size() > pageSize_) {
        flush(false);
        current = newPage(true);
        level.push_back({current, key, 0});
      }
      appended(current, PutLeafEntry(end(current), key, rid));
      ++level.back().Count;
    }
    if (level.empty()) level.push_back({newPage(true), {}, 0});
    std::uint32_t depth = 1;
    while (level.size() > 1) {
      std::vector<TChild> upper;
      current = 0;
      for (const TChild& child : level) {
        if (current == 0 ||
            kPageHeader + UsedBytes(pages_[current].data()) + kInteriorEntryHeader + child.MinKey.size() >
                pageSize_) {
          flush(false);
          current = newPage(false);
          upper.push_back({current, child.MinKey, 0});
        }
        appended(current, PutInteriorEntry(end(current), child.MinKey, child.Page, child.Count));
        upper.back().Count += child.Count;
      }
      level = std::move(upper);
      ++depth;
    }
    indexes_[i].Root = level.front().Page;
    indexes_[i].Depth = depth;
    counts_[i] = static_cast<std::uint32_t>(entries[i].size());
  }
  flush(true);
  MarkClean();
}

bool TIndexFile::VerifyPage(std::uint32_t page, std::uint32_t level, std::uint32_t depth, TKey& last,
                            bool& first, std::uint64_t& total, std::vector<bool>& seen) {
  if (page == 0 || page >= seen.size() || seen[page]) return false;
  seen[page] = true;
  bool leaf = level + 1 == depth;
  const std::uint8_t* p = Page(page, leaf).data();
  std::uint32_t count = EntryCount(p);
  std::uint32_t offset = kPageHeader;
  for (std::uint32_t e = 0; e < count; ++e) {
    auto key = KeyOf(p, offset, leaf);
    if (leaf) {
      if (!first && Compare(last, key) >= 0) return false;
      if (checkLower_ && Compare(key, lowerBound_) < 0) return false;
      checkLower_ = false;
      last.assign(key.begin(), key.end());
      first = false;
      ++total;
    } else {
      if (e > 0 && !first && Compare(last, key) >= 0) return false;
      TKey separator(key.begin(), key.end());
      std::uint32_t child = TEntryView(p + offset).Child();
      std::uint32_t expected = TEntryView(p + offset).Count();
      std::uint64_t under = 0;
      if (e > 0) {
        checkLower_ = true;
        lowerBound_ = std::move(separator);
      }
      if (!VerifyPage(child, level + 1, depth, last, first, under, seen)) return false;
      if (under != expected || under == 0) return false;
      total += under;
    }
    offset += EntrySize(p, offset, leaf);
  }
  return true;
}

bool TIndexFile::Verify(std::uint32_t rows) {
  try {
    for (std::size_t i = 0; i < indexes_.size(); ++i) {
      const TIndexInfo& info = indexes_[i];
      if (info.Root == 0 || info.Root >= pages_.size() || info.Depth == 0 || info.Depth > kMaxDepth)
        return false;
      std::vector<bool> seen(pages_.size(), false);
      TKey last;
      bool first = true;
      std::uint64_t total = 0;
      checkLower_ = false;
      if (!VerifyPage(info.Root, 0, info.Depth, last, first, total, seen)) return false;
      if (total != rows || counts_[i] != rows) return false;
    }
    return true;
  } catch (const EStoreError&) {
    return false;
  }
}

}  // namespace velquin::store

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
// Every change is written through before it returns. The dirty flag is written before the first
// change after an open and cleared by a clean close, so trees that a crash may have left half
// changed are rebuilt from the data file by the next check and repair. Pages read back are
// checked (checksum, kinds, lengths, page numbers against the file, depth) before use, and a
// check walks every page, so a damaged page makes the trees be rebuilt.
#include "tablestore/index_file.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "tablestore/checksum.h"
#include "tablestore/coding.h"
#include "tablestore/store_errors.h"
#include "tablestore/store_limits.h"

namespace velquin::store {
namespace {

constexpr char kIndexMagic[8] = {'V', 'Q', 'T', 'B', 'L', 'I', 'D', 'X'};
constexpr std::uint32_t kIndexVersion = 2;
constexpr std::uint32_t kMinPageSize = 8192;
constexpr std::uint32_t kMaxPageSize = 65536;
constexpr std::uint32_t kPageHeader = 16;
constexpr std::uint32_t kIndexDefsAt = 64;
constexpr std::uint32_t kIndexDefSize = 96;
constexpr std::uint32_t kMaxDepth = 24;
constexpr std::uint8_t kLeafPage = 1;
constexpr std::uint8_t kInteriorPage = 2;
constexpr std::uint8_t kFreePage = 3;
constexpr std::uint32_t kLeafEntryHeader = 6;
constexpr std::uint32_t kInteriorEntryHeader = 10;

int Compare(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (c != 0) return c;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::uint32_t HeaderOf(bool leaf) { return leaf ? kLeafEntryHeader : kInteriorEntryHeader; }
std::uint32_t EntryCount(const std::uint8_t* p) { return Get16(p + 2); }
std::uint32_t UsedBytes(const std::uint8_t* p) { return Get16(p + 4); }
std::uint32_t EntrySize(const std::uint8_t* p, std::uint32_t offset, bool leaf) {
  return HeaderOf(leaf) + Get16(p + offset);
}

std::span<const std::uint8_t> KeyOf(const std::uint8_t* p, std::uint32_t offset, bool leaf) {
  return {p + offset + HeaderOf(leaf), Get16(p + offset)};
}
// The checksum of a page as stored at offset 12. It leaves out the counts of interior entries,
// which change with every insert and delete below them: those are written alone, and a check
// compares each with the keys under its child instead.
std::uint32_t PageChecksum(const std::uint8_t* p, std::uint32_t pageSize) {
  std::uint32_t used = p[0] == kFreePage ? 0 : std::min<std::uint32_t>(UsedBytes(p), pageSize - kPageHeader);
  std::uint8_t head[kPageHeader];
  std::memcpy(head, p, kPageHeader);
  std::memset(head + 12, 0, 4);
  if (p[0] != kInteriorPage) return Checksum32(head, kPageHeader) ^ Checksum32(p + kPageHeader, used);
  std::vector<std::uint8_t> copy(p, p + kPageHeader + used);
  std::memcpy(copy.data(), head, kPageHeader);
  for (std::uint32_t offset = kPageHeader; offset + kInteriorEntryHeader <= kPageHeader + used;
       offset += EntrySize(copy.data(), offset, false)) {
    std::memset(copy.data() + offset + 6, 0, 4);
  }
  return Checksum32(copy.data(), kPageHeader + used);
}

void Seal(std::uint8_t* p, std::uint32_t pageSize) { Put32(p + 12, PageChecksum(p, pageSize)); }

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
    page[0] = kLeafPage;
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
  std::vector<std::uint8_t> header(kMinPageSize);
  file.ReadAt(0, header.data(), kMinPageSize);
  std::uint32_t count = Get32(&header[16]);
  const std::uint32_t pageSize = Get32(&header[12]);
  if (std::memcmp(header.data(), kIndexMagic, 8) != 0 || Get32(&header[8]) != kIndexVersion ||
      pageSize < kMinPageSize || pageSize > kMaxPageSize || !std::has_single_bit(pageSize) ||
      file.Size() < pageSize || count == 0 || count > kMaxIndexes) {
    throw damaged();
  }
  pageSize_ = pageSize;
  std::uint32_t stored = Get32(&header[28]);
  Put32(&header[28], 0);
  if (!ChecksumAccepted(stored, Checksum32(header.data(), kIndexDefsAt + kIndexDefSize * count)))
    throw damaged();
  pages_.resize(PageCount());
  dirty_ = Get32(&header[20]) != 0;
  freeHead_ = Get32(&header[24]);
  if (freeHead_ >= PageCount()) freeHead_ = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* def = &header[kIndexDefsAt + kIndexDefSize * i];
    TIndexInfo info;
    info.Name.assign(reinterpret_cast<const char*>(def), strnlen(reinterpret_cast<const char*>(def), 32));
    info.Options = def[32];
    std::uint32_t fields = def[33];
    if (fields == 0 || fields > kMaxIndexFields) throw damaged();
    for (std::uint32_t f = 0; f < fields; ++f) info.Fields.push_back(Get16(def + 36 + 2 * f));
    info.Root = Get32(def + 68);
    info.Depth = Get32(def + 72);
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
          total += Get32(&root[offset + 6]);
          offset += EntrySize(root.data(), offset, false);
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
  std::vector<std::uint8_t> header(kIndexDefsAt + kIndexDefSize * indexes_.size(), 0);
  std::memcpy(header.data(), kIndexMagic, 8);
  Put32(&header[8], kIndexVersion);
  Put32(&header[12], pageSize_);
  Put32(&header[16], static_cast<std::uint32_t>(indexes_.size()));
  Put32(&header[20], dirty_ ? 1 : 0);
  Put32(&header[24], freeHead_);
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    std::uint8_t* def = &header[kIndexDefsAt + kIndexDefSize * i];
    const TIndexInfo& info = indexes_[i];
    std::memcpy(def, info.Name.data(), std::min<std::size_t>(info.Name.size(), 31));
    def[32] = info.Options;
    def[33] = static_cast<std::uint8_t>(info.Fields.size());
    for (std::size_t f = 0; f < info.Fields.size(); ++f) Put16(def + 36 + 2 * f, info.Fields[f]);
    Put32(def + 68, info.Root);
    Put32(def + 72, info.Depth);
  }
  Put32(&header[28], Checksum32(header.data(), header.size()));
  file_->WriteAt(0, header.data(), header.size());
}

void TIndexFile::MarkDirty() {
  if (dirty_) return;
  dirty_ = true;
  WriteHeader();
}

void TIndexFile::MarkClean() {
  if (!dirty_) return;
  dirty_ = false;
  WriteHeader();
}

std::vector<std::uint8_t>* TIndexFile::LoadPage(std::uint32_t number) {
  if (number == 0 || number >= pages_.size()) throw StoreError(kErrDamaged, {table_});
  std::vector<std::uint8_t>& page = pages_[number];
  if (!page.empty()) return &page;
  std::vector<std::uint8_t> bytes(pageSize_);
  file_->ReadAt(std::uint64_t{number} * pageSize_, bytes.data(), pageSize_);
  const std::uint8_t* p = bytes.data();
  auto damaged = [&] { return StoreError(kErrDamaged, {table_}); };
  if (!ChecksumAccepted(Get32(p + 12), PageChecksum(p, pageSize_))) throw damaged();
  if (p[0] == kLeafPage || p[0] == kInteriorPage) {
    bool leaf = p[0] == kLeafPage;
    std::uint32_t used = UsedBytes(p);
    std::uint32_t count = EntryCount(p);
    if (used > pageSize_ - kPageHeader || (!leaf && count == 0)) throw damaged();
    std::uint32_t offset = kPageHeader;
    for (std::uint32_t e = 0; e < count; ++e) {
      if (offset + HeaderOf(leaf) > kPageHeader + used) throw damaged();
      std::uint32_t size = EntrySize(p, offset, leaf);
      if (Get16(p + offset) > MaxKeyLengthOf(pageSize_) || offset + size > kPageHeader + used)
        throw damaged();
      if (!leaf) {
        std::uint32_t child = Get32(p + offset + 2);
        if (child == 0 || child >= pages_.size()) throw damaged();
      }
      offset += size;
    }
    if (offset != kPageHeader + used) throw damaged();
  } else if (p[0] != kFreePage) {
    throw damaged();
  }
  page = std::move(bytes);
  return &page;
}

std::vector<std::uint8_t>& TIndexFile::Page(std::uint32_t number, bool leaf) {
  std::vector<std::uint8_t>* page = LoadPage(number);
  if ((*page)[0] != (leaf ? kLeafPage : kInteriorPage)) throw StoreError(kErrDamaged, {table_});
  return *page;
}

std::uint32_t TIndexFile::AllocatePage() {
  if (freeHead_ != 0) {
    std::uint32_t number = freeHead_;
    std::vector<std::uint8_t>* page = LoadPage(number);
    std::uint32_t next = Get32(page->data() + 8);
    if ((*page)[0] != kFreePage || next >= pages_.size() || next == number)
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
  page[0] = kFreePage;
  Put32(&page[8], freeHead_);
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
    for (std::uint32_t e = 0; e < chosen; ++e) position.Rank += Get32(p + offsets[e] + 6);
    position.Path.push_back({number, chosen});
    number = Get32(p + offsets[chosen] + 2);
  }
}

void TIndexFile::DescendLeftmost(TPosition& position, std::size_t fromLevel) {
  std::size_t depth = position.Path.size();
  for (std::size_t level = fromLevel; level < depth; ++level) {
    const TPosition::TStep& parent = position.Path[level - 1];
    const std::uint8_t* p = Page(parent.Page, false).data();
    std::uint32_t child = Get32(p + OffsetOf(p, parent.Entry, false) + 2);
    Page(child, level + 1 == depth);
    position.Path[level] = {child, 0};
  }
}

void TIndexFile::DescendRightmost(TPosition& position, std::size_t fromLevel) {
  std::size_t depth = position.Path.size();
  for (std::size_t level = fromLevel; level < depth; ++level) {
    const TPosition::TStep& parent = position.Path[level - 1];
    const std::uint8_t* p = Page(parent.Page, false).data();
    std::uint32_t child = Get32(p + OffsetOf(p, parent.Entry, false) + 2);
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
      std::uint32_t under = Get32(p + offset + 6);
      if (left < under) break;
      left -= under;
      offset += EntrySize(p, offset, false);
    }
    position.Path.push_back({number, e});
    number = Get32(p + offset + 2);
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
  return Get32(p + Offsets(leaf.Page)[leaf.Entry] + 2);
}

const std::vector<std::uint16_t>& TIndexFile::Offsets(std::uint32_t number) {
  if (offsets_.size() < pages_.size()) offsets_.resize(pages_.size());
  std::vector<std::uint16_t>& offsets = offsets_[number];
  const std::uint8_t* p = pages_[number].data();
  std::uint32_t count = EntryCount(p);
  if (offsets.size() != count) {
    offsets.resize(count);
    bool leaf = p[0] == kLeafPage;
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
  std::uint32_t offset = OffsetOf(p, entry, false) + 6;
  Put32(p + offset, static_cast<std::uint32_t>(Get32(p + offset) + delta));
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
    Put16(p + 2, count + 1);
    Put16(p + 4, used + size);
    WritePage(page);
    return false;
  }
  std::vector<std::uint8_t> all;
  all.reserve(used + size);
  all.insert(all.end(), p + kPageHeader, p + offset);
  all.insert(all.end(), entry.begin(), entry.end());
  all.insert(all.end(), p + offset, p + kPageHeader + used);
  std::vector<std::uint32_t> starts;
  for (std::uint32_t o = 0; o < all.size(); o += HeaderOf(leaf) + Get16(&all[o])) starts.push_back(o);
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
  Put16(l + 2, keep);
  Put16(l + 4, leftBytes);
  std::uint8_t* r = pages_[right].data();
  r[0] = leaf ? kLeafPage : kInteriorPage;
  std::uint32_t rightBytes = static_cast<std::uint32_t>(all.size()) - leftBytes;
  std::memcpy(r + kPageHeader, all.data() + leftBytes, rightBytes);
  Put16(r + 2, n - keep);
  Put16(r + 4, rightBytes);
  split.Page = right;
  auto key = KeyOf(r, kPageHeader, leaf);
  split.MinKey.assign(key.begin(), key.end());
  if (leaf) {
    split.Count = n - keep;
  } else {
    std::uint64_t total = 0;
    for (std::uint32_t e = keep; e < n; ++e) total += Get32(&all[starts[e] + 6]);
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
  for (std::uint32_t o = 0; o < all.size(); o += kLeafEntryHeader + Get16(&all[o])) starts.push_back(o);
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
    std::uint32_t sibling = Get32(parent + siblingOffset + 2);
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
    std::uint32_t oldLength = Get16(parent + separatorOffset);
    std::uint32_t newLength = Get16(&all[starts[k]]);
    if (UsedBytes(parent) + newLength > room + oldLength) continue;

    std::uint32_t moved = right ? n - k : k;
    std::uint8_t* s = Page(sibling, true).data();
    if (right) {
      std::memmove(s + kPageHeader + (total - starts[k]), s + kPageHeader, siblingUsed);
      std::memcpy(s + kPageHeader, all.data() + starts[k], total - starts[k]);
      Put16(s + 4, siblingUsed + total - starts[k]);
    } else {
      std::memcpy(s + kPageHeader + siblingUsed, all.data(), starts[k]);
      Put16(s + 4, siblingUsed + starts[k]);
    }
    Put16(s + 2, EntryCount(s) + moved);
    std::uint8_t* l = Page(leafStep.Page, true).data();
    std::uint32_t keepFrom = right ? 0 : starts[k];
    std::uint32_t keepBytes = right ? starts[k] : total - starts[k];
    std::memcpy(l + kPageHeader, all.data() + keepFrom, keepBytes);
    Put16(l + 2, n - moved);
    Put16(l + 4, keepBytes);

    std::uint32_t used = UsedBytes(parent);
    std::uint32_t tail = separatorOffset + kInteriorEntryHeader + oldLength;
    std::memmove(parent + tail + newLength - oldLength, parent + tail, kPageHeader + used - tail);
    std::memcpy(parent + separatorOffset + kInteriorEntryHeader, &all[starts[k]] + kLeafEntryHeader,
                newLength);
    Put16(parent + separatorOffset, newLength);
    Put16(parent + 4, used + newLength - oldLength);
    std::uint32_t siblingCountAt = OffsetOf(parent, siblingEntry, false) + 6;
    std::uint32_t leafCountAt = OffsetOf(parent, parentStep.Entry, false) + 6;
    Put32(parent + siblingCountAt, Get32(parent + siblingCountAt) + moved);
    Put32(parent + leafCountAt, Get32(parent + leafCountAt) + 1 - moved);
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
  Put16(entry.data(), static_cast<std::uint32_t>(key.size()));
  Put32(entry.data() + 2, rid);
  std::memcpy(entry.data() + kLeafEntryHeader, key.data(), key.size());
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
    Put16(parentEntry.data(), static_cast<std::uint32_t>(split.MinKey.size()));
    Put32(parentEntry.data() + 2, split.Page);
    Put32(parentEntry.data() + 6, split.Count);
    std::memcpy(parentEntry.data() + kInteriorEntryHeader, split.MinKey.data(), split.MinKey.size());
    TSplit up;
    splitted = InsertEntry(step.Page, step.Entry + 1, parentEntry, false, up);
    split = std::move(up);
  }
  TIndexInfo& info = indexes_[index];
  if (splitted) {
    if (info.Depth >= kMaxDepth) throw StoreError(kErrDamaged, {table_});
    std::uint32_t root = AllocatePage();
    std::uint8_t* r = pages_[root].data();
    r[0] = kInteriorPage;
    std::uint32_t offset = kPageHeader;
    Put16(r + offset, 0);
    Put32(r + offset + 2, info.Root);
    Put32(r + offset + 6, counts_[index] + 1 - split.Count);
    offset += kInteriorEntryHeader;
    Put16(r + offset, static_cast<std::uint32_t>(split.MinKey.size()));
    Put32(r + offset + 2, split.Page);
    Put32(r + offset + 6, split.Count);
    std::memcpy(r + offset + kInteriorEntryHeader, split.MinKey.data(), split.MinKey.size());
    offset += kInteriorEntryHeader + static_cast<std::uint32_t>(split.MinKey.size());
    Put16(r + 2, 2);
    Put16(r + 4, offset - kPageHeader);
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
    Put16(p + 2, EntryCount(p) - 1);
    Put16(p + 4, used - size);
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
    Put16(p + 2, EntryCount(p) - 1);
    Put16(p + 4, used - size);
    if (EntryCount(p) == 0 && level > 0) {
      FreePage(step.Page);
      continue;
    }
    if (EntryCount(p) == 0) {
      p[0] = kLeafPage;  // the tree is empty: its root becomes an empty leaf
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
    std::uint32_t child = Get32(p + kPageHeader + 2);
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
      pages_.back()[0] = leaf ? kLeafPage : kInteriorPage;
      return static_cast<std::uint32_t>(pages_.size() - 1);
    };
    auto append = [&](std::uint32_t page, const std::uint8_t* head, std::size_t headSize,
                      std::span<const std::uint8_t> key) {
      std::uint8_t* p = pages_[page].data();
      std::uint32_t used = UsedBytes(p);
      std::memcpy(p + kPageHeader + used, head, headSize);
      std::memcpy(p + kPageHeader + used + headSize, key.data(), key.size());
      Put16(p + 2, EntryCount(p) + 1);
      Put16(p + 4, used + static_cast<std::uint32_t>(headSize + key.size()));
    };
    std::uint32_t current = 0;
    for (const auto& [key, rid] : entries[i]) {
      if (current == 0 ||
          kPageHeader + UsedBytes(pages_[current].data()) + kLeafEntryHeader + key.size() > pageSize_) {
        flush(false);
        current = newPage(true);
        level.push_back({current, key, 0});
      }
      std::uint8_t head[kLeafEntryHeader];
      Put16(head, static_cast<std::uint32_t>(key.size()));
      Put32(head + 2, rid);
      append(current, head, sizeof head, key);
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
        std::uint8_t head[kInteriorEntryHeader];
        Put16(head, static_cast<std::uint32_t>(child.MinKey.size()));
        Put32(head + 2, child.Page);
        Put32(head + 6, child.Count);
        append(current, head, sizeof head, child.MinKey);
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
  dirty_ = false;
  WriteHeader();
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
      std::uint32_t child = Get32(p + offset + 2);
      std::uint32_t expected = Get32(p + offset + 6);
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

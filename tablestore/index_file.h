// TIndexFile: the index file (.IDX) of a table: the index definitions and one B+ tree of keys
// per index, each interior entry counting the keys under it so that a row's place is found in
// one descent.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tablestore/physical_file.h"
#include "tablestore/schema.h"

namespace velquin::store {

class TIndexFile {
 public:
  using TKey = std::vector<std::uint8_t>;

  struct TIndexInfo {
    std::string Name;
    TIndexOptions Options = 0;
    std::vector<std::uint16_t> Fields;  // field numbers
    std::uint32_t Root = 0;
    std::uint32_t Depth = 1;  // 1: the root is a leaf
  };

  // A place in one tree: one step per level, root first; the leaf step may sit one past the
  // last entry of the last leaf (the end). Valid while the file's version is unchanged.
  struct TPosition {
    struct TStep {
      std::uint32_t Page;
      std::uint32_t Entry;
    };
    std::vector<TStep> Path;
    std::uint32_t Rank = 0;  // number of keys before this place
    std::uint64_t Version = 0;
  };

  // The longest key a page of `pageSize` bytes takes: three of the longest entries fit in a
  // page, so a split always leaves two pages that hold their entries.
  static constexpr std::uint32_t MaxKeyLengthOf(std::uint32_t pageSize) { return (pageSize - 16) / 3 - 10; }
  static constexpr std::uint32_t kMaxKeyLength = (65536 - 16) / 3 - 10;  // MaxKeyLengthOf(64 KB)
  // The least page size whose pages take keys of `longestKey` bytes.
  // REQUIRES: longestKey <= kMaxKeyLength.
  static std::uint32_t PageSizeFor(std::size_t longestKey);

  // Writes a new index file with empty trees. REQUIRES: 1..31 definitions.
  static void Create(TPhysicalFile& file, const std::vector<TIndexInfo>& indexes, std::uint32_t pageSize);

  void Attach(TPhysicalFile& file, const std::string& table);
  const std::vector<TIndexInfo>& Indexes() const { return indexes_; }
  // True while changes made since the last clean close may have left the trees unfinished.
  bool Dirty() const { return dirty_; }
  // REQUIRES: called before the first change of the trees after an open.
  void MarkDirty();
  void MarkClean();
  std::uint64_t Version() const { return version_; }
  std::uint32_t PageSize() const { return pageSize_; }

  std::uint32_t Count(std::size_t index) const { return counts_.at(index); }
  // The first key not less than `key` (the end when there is none).
  TPosition LowerBound(std::size_t index, std::span<const std::uint8_t> key);
  // REQUIRES: rank <= Count(index); rank == Count(index) gives the end.
  TPosition AtRank(std::size_t index, std::uint32_t rank);
  bool AtEnd(const TPosition& position);
  // Move one key on or back; false (position unchanged) at the end or the first key.
  bool Next(TPosition& position);
  bool Prior(TPosition& position);
  // REQUIRES: !AtEnd(position).
  std::span<const std::uint8_t> KeyAt(const TPosition& position);
  std::uint32_t RidAt(const TPosition& position);

  // REQUIRES: Dirty(); the key is not yet in the tree.
  void Insert(std::size_t index, std::span<const std::uint8_t> key, std::uint32_t rid);
  // Removes the exact key; false when it is not there. REQUIRES: Dirty().
  bool Remove(std::size_t index, std::span<const std::uint8_t> key);

  // Replaces every tree by one built from `entries[i]`, the sorted distinct keys of index i,
  // and leaves the file clean.
  void Rebuild(const std::vector<std::vector<std::pair<TKey, std::uint32_t>>>& entries);
  // Walks every tree: returns true iff each is well formed, its keys ascend strictly and it
  // holds `rows` keys.
  bool Verify(std::uint32_t rows);

 private:
  struct TSplit {
    std::uint32_t Page = 0;
    TKey MinKey;
    std::uint32_t Count = 0;
  };
  std::vector<std::uint8_t>& Page(std::uint32_t number, bool leaf);
  std::vector<std::uint8_t>* LoadPage(std::uint32_t number);
  std::uint32_t PageCount() const;
  // The offsets of the entries of a loaded page, kept until the page is written again.
  const std::vector<std::uint16_t>& Offsets(std::uint32_t number);
  void Forget(std::uint32_t number);
  std::uint32_t AllocatePage();
  void FreePage(std::uint32_t number);
  void WritePage(std::uint32_t number);
  void WriteHeader();
  void Descend(std::size_t index, std::span<const std::uint8_t> key, TPosition& position);
  void DescendLeftmost(TPosition& position, std::size_t fromLevel);
  void DescendRightmost(TPosition& position, std::size_t fromLevel);
  bool ShiftIntoSibling(const TPosition& position, std::uint32_t at, const TKey& entry);
  bool InsertEntry(std::uint32_t page, std::uint32_t at, const TKey& entry, bool leaf, TSplit& split);
  void CountAdd(std::uint32_t page, std::uint32_t entry, std::int64_t delta);
  bool VerifyPage(std::uint32_t page, std::uint32_t level, std::uint32_t depth, TKey& last, bool& first,
                  std::uint64_t& total, std::vector<bool>& seen);

  TPhysicalFile* file_ = nullptr;
  std::string table_;
  std::uint32_t pageSize_ = 0;
  std::vector<TIndexInfo> indexes_;
  std::vector<std::uint32_t> counts_;
  bool dirty_ = false;
  std::uint32_t freeHead_ = 0;
  std::uint64_t version_ = 1;
  std::vector<std::vector<std::uint8_t>> pages_;     // loaded pages, empty when not loaded
  std::vector<std::vector<std::uint16_t>> offsets_;  // per page: see Offsets
  // Verify: the least key the next leaf entry may hold, when checkLower_.
  TKey lowerBound_;
  bool checkLower_ = false;
};

}  // namespace velquin::store

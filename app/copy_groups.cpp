#include "app/copy_groups.h"

#include <algorithm>
#include <numeric>
#include <string_view>

#include "imaging/picture_header.h"
#include "platform/file_utils.h"

namespace velquin {
namespace {

std::string PairKey(const std::string& a, const std::string& b) {
  return a < b ? a + '\n' + b : b + '\n' + a;
}

// Union-find over name indexes, with path halving and union by size.
class TDisjointSets {
 public:
  std::uint32_t Add() {
    parent_.push_back(static_cast<std::uint32_t>(parent_.size()));
    size_.push_back(1);
    return parent_.back();
  }
  std::uint32_t Find(std::uint32_t x) {
    while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
    return x;
  }
  void Join(std::uint32_t a, std::uint32_t b) {
    a = Find(a);
    b = Find(b);
    if (a == b) return;
    if (size_[a] < size_[b]) std::swap(a, b);
    parent_[b] = a;
    size_[a] += size_[b];
  }

 private:
  std::vector<std::uint32_t> parent_;
  std::vector<std::uint32_t> size_;
};

}  // namespace

TPairGroups GroupPairs(const std::vector<TCopyPair>& pairs) {
  TPairGroups result;
  std::unordered_map<std::string_view, std::uint32_t> index;
  index.reserve(pairs.size() * 2);
  TDisjointSets sets;
  const auto indexOf = [&](const std::string& name) {
    const auto [at, added] = index.try_emplace(name, 0);
    if (added) at->second = sets.Add();
    return at->second;
  };
  for (const TCopyPair& pair : pairs) {
    if (pair.File1 == pair.File2) continue;
    sets.Join(indexOf(pair.File1), indexOf(pair.File2));
  }
  // The names are views into `pairs`, which outlive this function's use of them.
  std::vector<std::pair<std::string_view, std::uint32_t>> byName(index.begin(), index.end());
  std::sort(byName.begin(), byName.end());
  std::vector<std::uint32_t> newIndex(byName.size());
  result.Names.reserve(byName.size());
  for (const auto& [name, old] : byName) {
    newIndex[old] = static_cast<std::uint32_t>(result.Names.size());
    result.Names.emplace_back(name);
  }
  // Walking the names in order puts each group's members, and the groups, in name order.
  std::vector<std::int64_t> groupOfRoot(byName.size(), -1);
  for (const auto& [name, old] : byName) {
    const std::uint32_t root = sets.Find(old);
    if (groupOfRoot[root] < 0) {
      groupOfRoot[root] = static_cast<std::int64_t>(result.Groups.size());
      result.Groups.emplace_back();
    }
    result.Groups[static_cast<std::size_t>(groupOfRoot[root])].push_back(newIndex[old]);
  }
  return result;
}

TGroupMember DescribeMember(const std::string& fullName) {
  TGroupMember member;
  member.FullName = fullName;
  TFileStamp stamp;
  member.Exists = FileExists(fullName) && FileStampAt(fullName, stamp);
  if (!member.Exists) return member;
  member.Bytes = stamp.Size;
  member.ModifiedSeconds = stamp.ModifiedSeconds;
  member.ModifiedNanoseconds = stamp.ModifiedNanoseconds;
  member.Date = StampDate(stamp);
  if (const std::optional<TPictureHeader> header = ReadPictureHeader(fullName)) {
    member.Format = header->Format;
    member.Width = header->Width;
    member.Height = header->Height;
  }
  return member;
}

TGroupMember TMemberCache::Describe(const std::string& fullName) {
  TFileStamp stamp;
  if (!FileStampAt(fullName, stamp)) return DescribeMember(fullName);
  TEntry entry;
  if (const auto known = kept_.find(fullName); known != kept_.end() && known->second.Stamp == stamp) {
    entry = std::move(known->second);
    kept_.erase(known);
  } else {
    entry = {stamp, DescribeMember(fullName)};
  }
  return used_.insert_or_assign(fullName, std::move(entry)).first->second.Member;
}

void TMemberCache::ForgetUnused() {
  kept_ = std::move(used_);
  used_.clear();
}

bool BetterKeeper(const TGroupMember& a, const TGroupMember& b) {
  if (a.Exists != b.Exists) return a.Exists;
  const std::int64_t pixelsA = std::int64_t{a.Width} * a.Height;
  const std::int64_t pixelsB = std::int64_t{b.Width} * b.Height;
  if (pixelsA != pixelsB) return pixelsA > pixelsB;
  if (a.Bytes != b.Bytes) return a.Bytes > b.Bytes;
  if (a.ModifiedSeconds != b.ModifiedSeconds) return a.ModifiedSeconds < b.ModifiedSeconds;
  if (a.ModifiedNanoseconds != b.ModifiedNanoseconds) return a.ModifiedNanoseconds < b.ModifiedNanoseconds;
  return a.FullName < b.FullName;
}

std::int64_t TCopyGroup::RestBytes() const {
  return std::accumulate(Members.begin() + (Members.empty() ? 0 : 1), Members.end(), std::int64_t{0},
                         [](std::int64_t sum, const TGroupMember& member) { return sum + member.Bytes; });
}

TCopyGroups::TCopyGroups(const std::vector<TCopyPair>& pairs, TMemberCache* cache) {
  const TPairGroups grouped = GroupPairs(pairs);
  groups_.reserve(grouped.Groups.size());
  for (const std::vector<std::uint32_t>& indexes : grouped.Groups) {
    TCopyGroup group;
    group.Members.reserve(indexes.size());
    for (const std::uint32_t index : indexes) {
      groupOf_.emplace(grouped.Names[index], groups_.size());
      const std::string& name = grouped.Names[index];
      group.Members.push_back(cache != nullptr ? cache->Describe(name) : DescribeMember(name));
    }
    std::sort(group.Members.begin(), group.Members.end(), BetterKeeper);
    groups_.push_back(std::move(group));
  }
  pairs_.reserve(pairs.size());
  for (const TCopyPair& pair : pairs) {
    if (pair.File1 == pair.File2) continue;
    const auto [at, added] = pairs_.try_emplace(PairKey(pair.File1, pair.File2), pair.OnlyGrayOrTurned);
    if (!added) at->second = at->second && pair.OnlyGrayOrTurned;
  }
}

std::optional<std::size_t> TCopyGroups::GroupOf(const std::string& file) const {
  const auto found = groupOf_.find(file);
  if (found == groupOf_.end()) return std::nullopt;
  return found->second;
}

bool TCopyGroups::ChooseKeeper(const std::string& file) {
  const std::optional<std::size_t> group = GroupOf(file);
  if (!group) return false;
  std::vector<TGroupMember>& members = groups_[*group].Members;
  const auto chosen = std::find_if(members.begin(), members.end(),
                                   [&](const TGroupMember& member) { return member.FullName == file; });
  std::rotate(members.begin(), chosen, chosen + 1);
  return true;
}

bool TCopyGroups::Paired(const std::string& a, const std::string& b, bool* onlyGrayOrTurned) const {
  const auto found = pairs_.find(PairKey(a, b));
  if (found == pairs_.end()) return false;
  if (onlyGrayOrTurned != nullptr) *onlyGrayOrTurned = found->second;
  return true;
}

}  // namespace velquin

// TCopyGroups: the groups of copies of a Folder, the connected sets of its recorded pairs (two
// pictures are in one group when a chain of pairs links them), each with its keeper: the picture with
// the most pixels, then the largest file, then the earliest modification time, then the smaller full
// name. A picture whose file is missing is never the keeper while another exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_utils.h"

namespace velquin {

// One recorded pair, as Matches holds it.
struct TCopyPair {
  std::string File1;
  std::string File2;
  // A pair recorded only through the Gray or Turned comparisons. Trashing all groups at once leaves
  // such pairs out unless the user includes them; pairs of the plain comparison leave it false.
  bool OnlyGrayOrTurned = false;
};

// The pairs grouped: every name once, each group a list of indexes into Names.
struct TPairGroups {
  std::vector<std::string> Names;
  // Each group's members in the order of their names; groups in the order of their first member.
  std::vector<std::vector<std::uint32_t>> Groups;
};

// Groups `pairs` into connected sets. Pairs naming one file twice add nothing.
TPairGroups GroupPairs(const std::vector<TCopyPair>& pairs);

struct TGroupMember {
  std::string FullName;
  bool Exists = false;
  std::string Format;  // "JPEG", "GIF" or "BMP" by the file's header; "" when it cannot be read
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int64_t Bytes = 0;
  std::int64_t ModifiedSeconds = 0;  // since 1970-01-01 UTC
  std::int32_t ModifiedNanoseconds = 0;
  double Date = 0;  // the modification time as the program's date-time (platform/date_time.h)
};

// The member as its file stands now: size and format from the header, bytes and time from the file.
TGroupMember DescribeMember(const std::string& fullName);

// The members described by the latest readings of the groups, by file: a file whose stamp (device,
// inode, size, time) is unchanged keeps its description, so that reading the groups again, as a scan
// appends pairs, opens only new and changed files.
class TMemberCache {
 public:
  // DescribeMember, or the description kept for the file's stamp.
  TGroupMember Describe(const std::string& fullName);
  // Forgets the files not described since the previous call.
  void ForgetUnused();

 private:
  struct TEntry {
    TFileStamp Stamp;
    TGroupMember Member;
  };
  std::unordered_map<std::string, TEntry> kept_;
  std::unordered_map<std::string, TEntry> used_;
};

// Returns true iff `a` comes before `b` by the keeper rule.
bool BetterKeeper(const TGroupMember& a, const TGroupMember& b);

struct TCopyGroup {
  // The keeper first, the others in the order of the keeper rule.
  std::vector<TGroupMember> Members;
  // Total bytes of the members other than the keeper.
  std::int64_t RestBytes() const;
};

class TCopyGroups {
 public:
  // Groups the pairs and describes every member from its file (DescribeMember), or through `cache`.
  explicit TCopyGroups(const std::vector<TCopyPair>& pairs, TMemberCache* cache = nullptr);

  const std::vector<TCopyGroup>& Groups() const { return groups_; }
  // The group holding `file`; nullopt when none does.
  std::optional<std::size_t> GroupOf(const std::string& file) const;
  // Makes `file` the keeper of its group, the others keeping their order. Returns false when no
  // group holds it.
  bool ChooseKeeper(const std::string& file);
  // Returns true iff a recorded pair links `a` and `b`, in either order; `onlyGrayOrTurned` then says
  // whether every such pair was recorded only through Gray or Turned.
  bool Paired(const std::string& a, const std::string& b, bool* onlyGrayOrTurned = nullptr) const;

 private:
  std::vector<TCopyGroup> groups_;
  std::unordered_map<std::string, std::size_t> groupOf_;
  // Per unordered pair of names, "a\nb" with a < b: true while every recording of it is Gray or Turned only.
  std::unordered_map<std::string, bool> pairs_;
};

}  // namespace velquin

#include "app/copy_groups.h"

#include <cstdio>
#include <fstream>
#include <map>

#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/test_dir.h"

namespace velquin {
namespace {

struct TFile {
  std::string name;
  std::int32_t width = 8;
  std::int32_t height = 8;
  std::int64_t mtime = 1'700'000'000;
  std::size_t extraBytes = 0;  // trailing bytes after the picture: a larger file of the same size
  bool exists = true;
};

struct TCase {
  const char* label;
  std::vector<TFile> files;
  std::vector<std::pair<std::string, std::string>> pairs;
  // Each group's members by name, the keeper first; groups in the order of their first name.
  std::vector<std::vector<std::string>> groups;
};

TEST(CopyGroupsTest, GroupsAndKeepers) {
  const std::vector<TCase> cases = {
      {"a chain is one group; the most pixels keep",
       {{"a", 8, 8}, {"b", 16, 16}, {"c", 4, 4}},
       {{"a", "b"}, {"b", "c"}},
       {{"b", "a", "c"}}},
      {"two groups stay apart",
       {{"a"}, {"b", 9, 9}, {"x"}, {"y", 2, 2}},
       {{"x", "y"}, {"a", "b"}},
       {{"b", "a"}, {"x", "y"}}},
      {"pixels count, not the width",
       {{"wide", 100, 1}, {"square", 20, 20}},
       {{"wide", "square"}},
       {{"square", "wide"}}},
      {"equal pixels: the larger file", {{"a"}, {"b", 8, 8, 1'700'000'000, 100}}, {{"a", "b"}}, {{"b", "a"}}},
      {"equal pixels and bytes: the earlier file",
       {{"a", 8, 8, 1'700'000'500}, {"b", 8, 8, 1'700'000'100}},
       {{"a", "b"}},
       {{"b", "a"}}},
      {"all equal: the smaller name", {{"b"}, {"a"}, {"c"}}, {{"c", "b"}, {"b", "a"}}, {{"a", "b", "c"}}},
      {"a missing file never keeps",
       {{"gone", 64, 64, 1, 0, false}, {"here", 2, 2}},
       {{"gone", "here"}},
       {{"here", "gone"}}},
      {"a pair repeated or naming one file twice adds nothing",
       {{"a"}, {"b", 9, 9}, {"lone"}},
       {{"a", "b"}, {"b", "a"}, {"lone", "lone"}},
       {{"b", "a"}}},
      {"no pairs, no groups", {{"a"}}, {}, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.label);
    TTestDir dir;
    for (const TFile& f : c.files) {
      if (!f.exists) continue;
      const std::string path = dir.File(f.name);
      WriteBmp(path, f.width, f.height, 0x808080);
      if (f.extraBytes > 0) std::ofstream(path, std::ios::app) << std::string(f.extraBytes, 'x');
      SetFileTime(path, f.mtime);
    }
    std::vector<TCopyPair> pairs;
    for (const auto& [a, b] : c.pairs) pairs.push_back({dir.File(a), dir.File(b)});
    const TCopyGroups groups(pairs);
    std::vector<std::vector<std::string>> names;
    for (const TCopyGroup& group : groups.Groups()) {
      names.emplace_back();
      for (const TGroupMember& member : group.Members)
        names.back().push_back(member.FullName.substr(dir.Path().size()));
    }
    EXPECT_EQ(names, c.groups);
  }
}

TEST(CopyGroupsTest, MembersAreDescribedFromTheirFiles) {
  TTestDir dir;
  WriteBmp(dir.File("p.bmp"), 30, 20, 0x102030);
  SetFileTime(dir.File("p.bmp"), 1'700'000'001);
  const TCopyGroups groups({{dir.File("p.bmp"), dir.File("missing.bmp")}});
  ASSERT_EQ(groups.Groups().size(), 1u);
  const TGroupMember& p = groups.Groups()[0].Members[0];
  EXPECT_TRUE(p.Exists);
  EXPECT_EQ(p.Format, "BMP");
  EXPECT_EQ(p.Width, 30);
  EXPECT_EQ(p.Height, 20);
  EXPECT_EQ(p.Bytes, GetFileSize(dir.File("p.bmp")));
  EXPECT_EQ(p.ModifiedSeconds, 1'700'000'001);
  EXPECT_EQ(p.Date, GetFileDate(dir.File("p.bmp")));
  const TGroupMember& missing = groups.Groups()[0].Members[1];
  EXPECT_FALSE(missing.Exists);
  EXPECT_EQ(missing.Width, 0);
  EXPECT_EQ(groups.Groups()[0].RestBytes(), 0);
}

TEST(CopyGroupsTest, ChosenKeeperAndPairLookup) {
  TTestDir dir;
  for (const char* name : {"a", "b", "c"}) WriteBmp(dir.File(name), 8, 8, 0x808080);
  WriteBmp(dir.File("big"), 20, 20, 0x808080);
  TCopyGroups groups({{dir.File("a"), dir.File("big")},
                      {dir.File("big"), dir.File("b"), true},
                      {dir.File("b"), dir.File("c")}});
  ASSERT_EQ(groups.Groups().size(), 1u);
  EXPECT_EQ(groups.Groups()[0].Members.front().FullName, dir.File("big"));

  EXPECT_TRUE(groups.ChooseKeeper(dir.File("c")));
  std::vector<std::string> order;
  for (const TGroupMember& member : groups.Groups()[0].Members) order.push_back(member.FullName);
  EXPECT_EQ(order, (std::vector<std::string>{dir.File("c"), dir.File("big"), dir.File("a"), dir.File("b")}));
  EXPECT_FALSE(groups.ChooseKeeper(dir.File("elsewhere")));

  bool only = false;
  EXPECT_TRUE(groups.Paired(dir.File("big"), dir.File("a"), &only));
  EXPECT_FALSE(only);
  EXPECT_TRUE(groups.Paired(dir.File("b"), dir.File("big"), &only));
  EXPECT_TRUE(only);
  EXPECT_FALSE(groups.Paired(dir.File("a"), dir.File("c")));
}

// A file whose stamp is unchanged keeps the description read before; a new time, or a reading that
// did not need the file, makes it read again.
TEST(CopyGroupsTest, TheMemberCacheReadsOnlyChangedFiles) {
  TTestDir dir;
  const std::string file = dir.File("p.bmp");
  // 8 x 16 and 16 x 8 pictures of 24 bits take the same bytes.
  const auto write = [&](std::int32_t width, std::int32_t height, std::int64_t time) {
    WriteBmp(file, width, height, 0x808080);
    SetFileTime(file, time);
  };
  TMemberCache cache;
  write(8, 16, 1'700'000'000);
  EXPECT_EQ(cache.Describe(file).Width, 8);
  cache.ForgetUnused();
  write(16, 8, 1'700'000'000);
  EXPECT_EQ(cache.Describe(file).Width, 8) << "same stamp, same description";
  cache.ForgetUnused();
  SetFileTime(file, 1'700'000'001);
  EXPECT_EQ(cache.Describe(file).Width, 16);
  cache.ForgetUnused();
  cache.ForgetUnused();
  write(8, 16, 1'700'000'001);
  EXPECT_EQ(cache.Describe(file).Width, 8) << "forgotten by a reading without it";
  std::remove(file.c_str());
  EXPECT_FALSE(cache.Describe(file).Exists);
}

}  // namespace
}  // namespace velquin

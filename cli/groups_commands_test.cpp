#include <filesystem>

#include "app/test_support.h"
#include "cli/run_cli_for_test.h"
#include "platform/date_time.h"
#include "platform/file_utils.h"
#include "platform/test_dir.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

// groups, keep-best and restore end to end on a scanned and matched folder, with a trash of the test's own.
class GroupsCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // a and b alike (the older one keeps, the sizes being equal), c alone.
    WriteBmp(Pictures.File("a.bmp"), 8, 8, 0x646464);
    WriteBmp(Pictures.File("b.bmp"), 8, 8, 0x666666);
    WriteBmp(Pictures.File("c.bmp"), 8, 8, 0xF01020);
    SetFileTime(Pictures.File("a.bmp"), 1'600'000'000);
    SetFileTime(Pictures.File("b.bmp"), 1'700'000'000);
    ASSERT_EQ(RunCli({"scan", "--no-normalize", Pictures.Path()}).Status, 0);
    ASSERT_EQ(RunCli({"match", "--cell-sum", "--margin", "6", Pictures.Path()}).Status, 0);
  }
  std::string Line(const std::string& name, char mark, int group) {
    const std::string file = Pictures.File(name);
    return std::to_string(group) + "\t" + mark + "\t" + file + "\t8\t8\t" +
           std::to_string(GetFileSize(file)) + "\t" + DateTimeToIso(GetFileDate(file)) + "\n";
  }

  TTestTrash Trash;
  TTestDir Pictures;
};

TEST_F(GroupsCommandsTest, ListKeepBestAndRestore) {
  TRun run = RunCli({"groups", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, Line("a.bmp", '*', 1) + Line("b.bmp", '-', 1));
  run = RunCli({"groups", "--json", Pictures.Path()});
  EXPECT_NE(run.Out.find("{\"Group\": 1, \"Keeper\": true, \"File\": \"" + Pictures.File("a.bmp") +
                         "\", \"Format\": \"BMP\", \"Width\": 8, \"Height\": 8, \"Bytes\": " +
                         std::to_string(GetFileSize(Pictures.File("a.bmp"))) + ", \"Date\": \"" +
                         DateTimeToIso(GetFileDate(Pictures.File("a.bmp"))) + "\"}"),
            std::string::npos)
      << run.Out;

  // Without --apply nothing moves; --keep chooses the keeper.
  run = RunCli({"keep-best", "--cell-sum", "--margin", "6", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "keep\t" + Pictures.File("a.bmp") + "\nmove\t" + Pictures.File("b.bmp") + "\n");
  run =
      RunCli({"keep-best", "--cell-sum", "--margin", "6", "--keep", Pictures.File("b.bmp"), Pictures.Path()});
  EXPECT_EQ(run.Out, "keep\t" + Pictures.File("b.bmp") + "\nmove\t" + Pictures.File("a.bmp") + "\n");
  // The rules of now decide: at Margin 1 the pair is no longer alike.
  run = RunCli({"keep-best", "--cell-sum", "--margin", "1", Pictures.Path()});
  EXPECT_EQ(run.Out, "keep\t" + Pictures.File("a.bmp") + "\nskip\t" + Pictures.File("b.bmp") +
                         "\tno longer alike under the current Margin\n");
  EXPECT_TRUE(FileExists(Pictures.File("b.bmp")));
  run = RunCli({"keep-best", "--keep", Pictures.File("c.bmp"), Pictures.Path()});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "velquin-cli: " + Pictures.File("c.bmp") + ": in no group\n");

  // At the default rules (channel mode, Margin 10) the pair is alike.
  const std::string b = fs::canonical(Pictures.File("b.bmp")).string();
  run = RunCli({"keep-best", "--apply", Pictures.Path()});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(run.Out, "keep\t" + Pictures.File("a.bmp") + "\nmoved\t" + Pictures.File("b.bmp") + "\t" +
                         Trash.Path() + "files/b.bmp\n");
  EXPECT_FALSE(FileExists(Pictures.File("b.bmp")));
  EXPECT_TRUE(FileExists(Trash.Path() + "files/b.bmp"));
  EXPECT_EQ(RunCli({"pairs", Pictures.Path()}).Out, "");
  EXPECT_EQ(RunCli({"groups", Pictures.Path()}).Out, "");

  run = RunCli({"restore", Pictures.File("b.bmp"), Pictures.File("c.bmp")});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "restored\t" + b + "\n");
  EXPECT_EQ(run.Err, "velquin-cli: Cannot restore file \"" + fs::canonical(Pictures.File("c.bmp")).string() +
                         "\". It is not in the trash.\n");
  EXPECT_TRUE(FileExists(Pictures.File("b.bmp")));
  EXPECT_TRUE(fs::is_empty(Trash.Path() + "files"));
  EXPECT_TRUE(fs::is_empty(Trash.Path() + "info"));
  EXPECT_EQ(RunCli({"restore"}).Status, 2);
}

}  // namespace
}  // namespace velquin

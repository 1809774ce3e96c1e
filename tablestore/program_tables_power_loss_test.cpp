// Moving a damaged Matches aside and clearing the tables, with the power failing at each of their
// changes in turn: afterwards the tables open, a moved file lies under one of its two names, a
// cleared table has all its rows or none, and what returned before the power failed stays done.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/program_tables.h"
#include "platform/test_dir.h"
#include "tablestore/fault_file_system.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;
using store::TFaultFileSystem;
using store::TFileSystem;
using store::TPowerLoss;

// A folder of tables made on the operating system's file system; Start puts the fault file system
// under the store, PowerLoss fails the power and gives the operating system's back.
class TRig {
 public:
  explicit TRig(std::uint32_t seed) : files_(dir_.Path() + "kept/", seed) {
    ::mkdir(folder_.c_str(), 0755);
    ::mkdir((dir_.Path() + "kept").c_str(), 0755);
  }
  ~TRig() { TFileSystem::Install(nullptr); }
  TRig(const TRig&) = delete;
  TRig& operator=(const TRig&) = delete;

  void Start(std::uint64_t failAt) {
    files_.FailAt(failAt);
    TFileSystem::Install(&files_);
  }
  void PowerLoss() {
    files_.PowerLoss();
    TFileSystem::Install(nullptr);
  }
  const std::string& Folder() const { return folder_; }

 private:
  TTestDir dir_;
  std::string folder_ = dir_.Path() + "tables/";
  TFaultFileSystem files_;
};

// Sigs with three rows and Matches with two, closed.
void MakeTables(const std::string& folder) {
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  OpenTables(sigs, matches, folder);
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
    sigs.Append();
    sigs.SetFieldValue("FileName", std::string(name));
    sigs.SetFieldValue("FilePath", folder);
    sigs.SetFieldValue("Signature", std::string("s") + name);
    sigs.Post();
  }
  for (std::int32_t diff : {1, 2}) {
    matches.Append();
    matches.SetFieldValue("MaxDiff", diff);
    matches.SetFieldValue("File1", folder + "a.jpg");
    matches.SetFieldValue("File2", folder + (diff == 1 ? "b.jpg" : "c.jpg"));
    matches.Post();
  }
}

// How many files of `folder` hold exactly `content`.
int FilesHolding(const std::string& folder, const std::string& content) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    count += ReadWholeFile(entry.path().string()) == content;
  return count;
}

TEST(ProgramTablesPowerLossTest, MovingADamagedMatchesAsideLosesNoFile) {
  const std::string damaged = "not a table";
  bool completed = false;
  for (std::uint64_t failAt = 1; !completed; ++failAt) {
    SCOPED_TRACE("power lost at change " + std::to_string(failAt));
    ASSERT_LT(failAt, 100u) << "the open never ends";
    TRig rig(static_cast<std::uint32_t>(failAt));
    MakeTables(rig.Folder());
    const std::string index = ReadWholeFile(rig.Folder() + "Matches.IDX");
    std::ofstream(rig.Folder() + "Matches.DAT", std::ios::binary | std::ios::trunc) << damaged;
    rig.Start(failAt);
    try {
      TTable sigs("SigsTable");
      TTable matches("MatchesTable");
      OpenTables(sigs, matches, rig.Folder());
      // Closed here: the power may fail as they close, and a destructor must not throw.
      sigs.Close();
      matches.Close();
      completed = true;
    } catch (const TPowerLoss&) {
    }
    rig.PowerLoss();

    if (completed) {
      EXPECT_EQ(ReadWholeFile(rig.Folder() + "Matches.DAT.damaged"), damaged) << "the move is durable";
      EXPECT_EQ(ReadWholeFile(rig.Folder() + "Matches.IDX.damaged"), index);
    }
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    ASSERT_NO_THROW(OpenTables(sigs, matches, rig.Folder()));
    EXPECT_EQ(sigs.RecordCount(), 3);
    EXPECT_EQ(matches.RecordCount(), 0);
    sigs.Close();
    matches.Close();
    EXPECT_EQ(FilesHolding(rig.Folder(), damaged), 1);
    EXPECT_EQ(FilesHolding(rig.Folder(), index), 1);
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(ProgramTablesPowerLossTest, ClearingLeavesTablesThatOpenWithAllTheirRowsOrNone) {
  bool completed = false;
  for (std::uint64_t failAt = 1; !completed; ++failAt) {
    SCOPED_TRACE("power lost at change " + std::to_string(failAt));
    ASSERT_LT(failAt, 100u) << "the deletion never ends";
    TRig rig(static_cast<std::uint32_t>(failAt));
    MakeTables(rig.Folder());
    rig.Start(failAt);
    try {
      DeleteTables(rig.Folder());
      completed = true;
    } catch (const TPowerLoss&) {
    }
    rig.PowerLoss();

    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    ASSERT_NO_THROW(OpenTables(sigs, matches, rig.Folder()));
    if (completed) {
      EXPECT_EQ(sigs.RecordCount(), 0) << "the deletion is durable";
      EXPECT_EQ(matches.RecordCount(), 0);
    }
    EXPECT_TRUE(sigs.RecordCount() == 0 || sigs.RecordCount() == 3) << sigs.RecordCount();
    EXPECT_TRUE(matches.RecordCount() == 0 || matches.RecordCount() == 2) << matches.RecordCount();
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace velquin

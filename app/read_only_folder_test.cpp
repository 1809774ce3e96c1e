// A Folder whose tables cannot be written: its pairs can be looked at, and what would write refuses
// with the reason, leaving the folder as it was. The reason comes from the form's WriteProblemOf,
// which the tests answer themselves (they run as root, to whom access(2) grants everything); one
// opt-in test mounts a real read-only file system.
#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "app/groups_form.h"
#include "app/program_tables.h"
#include "app/test_support.h"
#include "platform/file_utils.h"
#include "signature/signature.h"

namespace velquin {
namespace {

namespace fs = std::filesystem;

class ReadOnlyFolderTest : public FormTest {
 protected:
  // Pictures a, a2, b and b2 with their Sigs rows and the pairs (a, a2) and (b, b2), made while the
  // folder can be written.
  void MakeTables() {
    ChooseFolder();
    for (const auto& [name, gray] :
         {std::pair{"a.bmp", 100}, {"a2.bmp", 101}, {"b.bmp", 200}, {"b2.bmp", 202}}) {
      const std::string path = Pictures.File(name);
      WriteBmp(path, 8, 8, 0x808080);
      AddSigsRow(name, Pictures.Path(), GraySignature(gray));
    }
    AddMatchRow(1, Pictures.File("a.bmp"), Pictures.File("a2.bmp"));
    AddMatchRow(2, Pictures.File("b.bmp"), Pictures.File("b2.bmp"));
  }
  // From now on the picture folder cannot be written, for `reason`.
  void RefuseWriting(const std::string& reason) {
    Form.WriteProblemOf = [this, reason](const std::string& folder) {
      return folder == Pictures.Path() ? reason : "";
    };
  }
  // Opens the picture folder again, by way of another folder.
  void ChooseAgain() {
    Form.SetDirEditText(Other.Path());
    Form.SetDirEditText(Pictures.Path());
  }

  TTestDir Other;
};

TEST_F(ReadOnlyFolderTest, PairsAreListedAndWhatWouldWriteRefusesWithTheReason) {
  MakeTables();
  const std::vector<std::string> pairs = MatchRows();
  ASSERT_EQ(pairs.size(), 2u);
  RefuseWriting("Read-only file system");
  ChooseAgain();

  const std::string note = "This folder cannot be written: Read-only file system";
  EXPECT_EQ(Form.ReadOnlyNote(), note);
  ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  EXPECT_TRUE(Form.SigsTable.OpenedReadOnly());
  EXPECT_TRUE(Form.MatchesTable.OpenedReadOnly());
  EXPECT_EQ(MatchRows(), pairs);
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (4/4)");
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (2)");
  EXPECT_EQ(Form.lFile1().rfind(Pictures.File("a.bmp") + ": ", 0), 0u) << Form.lFile1();

  const TListing before = ListingOf(Pictures.Path());
  TGroupsForm groups(Form);
  groups.Refresh();
  ASSERT_EQ(groups.Groups().size(), 2u) << "the groups are read from the tables as they stand";
  groups.Select(0);
  const std::pair<const char*, std::function<void()>> refused[] = {
      {"Signatures", [&] { Form.CompSigsButtonClick(); }},
      {"Matches", [&] { Form.CompMatchesButtonClick(); }},
      {"Auto", [&] { Form.AutoButtonClick(); }},
      {"ClearDBs", [&] { Form.ClearButtonClick(); }},
      {"Delete left", [&] { Form.lDeleteButtonClick(); }},
      {"Delete right", [&] { Form.rDeleteButtonClick(); }},
      {"Trash the rest", [&] { groups.TrashSelectedClick(); }},
      {"Trash the rest of all groups", [&] { groups.TrashAllClick(true); }},
  };
  for (const auto& [name, click] : refused) {
    SCOPED_TRACE(name);
    const std::size_t errors = Desktop.Errors.size();
    click();
    ASSERT_EQ(Desktop.Errors.size(), errors + 1);
    EXPECT_EQ(Desktop.Errors.back(), note);
    EXPECT_EQ(ListingOf(Pictures.Path()), before);
    EXPECT_TRUE(Desktop.Recycled.empty());
    EXPECT_FALSE(Form.CanUndo());
    // Auto may have gone through the other folder of the list first; it ends here.
    ASSERT_EQ(Form.DirEditText(), Pictures.Path());
    EXPECT_EQ(MatchRows(), pairs);
    EXPECT_EQ(Form.SigsTable.RecordCount(), 4);
  }
  Form.FormDestroy();
  EXPECT_EQ(ListingOf(Pictures.Path()), before) << "the settings and the folder list go to AppDir";

  // Once it can be written again, everything works as before: the tables are writable and Delete
  // moves the file with its rows.
  Form.WriteProblemOf = [](const std::string&) { return std::string(); };
  ChooseAgain();
  EXPECT_EQ(Form.ReadOnlyNote(), "");
  EXPECT_FALSE(Form.SigsTable.OpenedReadOnly());
  EXPECT_FALSE(Form.MatchesTable.OpenedReadOnly());
  const std::size_t errors = Desktop.Errors.size();
  Form.lDeleteButtonClick();
  EXPECT_EQ(Desktop.Errors.size(), errors);
  EXPECT_FALSE(FileExists(Pictures.File("a.bmp")));
  EXPECT_EQ(Form.MatchesTable.RecordCount(), 1);
  EXPECT_EQ(Form.SigsTable.RecordCount(), 3);
}

// The pair display deletes a row naming a missing file; a table it cannot write keeps the row and
// shows no pair for it.
TEST_F(ReadOnlyFolderTest, RowOfAMissingFileStaysAndShowsNoPair) {
  MakeTables();
  // Added behind the form's back: its own pair display would delete the row at once.
  Form.SigsTable.Close();
  Form.MatchesTable.Close();
  {
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, Pictures.Path());
    matches.Append();
    matches.SetFieldValue("MaxDiff", 0);
    matches.SetFieldValue("File1", Pictures.File("gone.bmp"));
    matches.SetFieldValue("File2", Pictures.File("a.bmp"));
    matches.Post();
  }
  RefuseWriting("Permission denied");
  ChooseAgain();

  ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  ASSERT_EQ(Form.MatchesTable.RecordCount(), 3);
  EXPECT_EQ(MatchRows().front(), "0|" + Pictures.File("gone.bmp") + "|" + Pictures.File("a.bmp"));
  EXPECT_EQ(Form.lFile1(), "");
  EXPECT_EQ(Form.lFile2(), "");
  Form.MatchesTable.Next();
  EXPECT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  EXPECT_EQ(Form.lFile1().rfind(Pictures.File("a.bmp") + ": ", 0), 0u) << Form.lFile1();
  EXPECT_EQ(Form.Im1.Width(), 8);
}

TEST_F(ReadOnlyFolderTest, FolderWithoutTablesGetsNoneUntilItCanBeWritten) {
  WriteBmp(Pictures.File("a.bmp"), 8, 8, 0x808080);
  WriteBmp(Pictures.File("b.bmp"), 8, 8, 0x404040);
  RefuseWriting("Permission denied");
  const TListing before = ListingOf(Pictures.Path());
  ChooseFolder();

  EXPECT_EQ(Form.ReadOnlyNote(), "This folder cannot be written: Permission denied");
  EXPECT_FALSE(Form.SigsTable.Active());
  EXPECT_FALSE(Form.MatchesTable.Active());
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (0/2)");
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (0)");
  EXPECT_EQ(Form.lFile1(), "");
  EXPECT_EQ(ListingOf(Pictures.Path()), before);

  Form.WriteProblemOf = [](const std::string&) { return std::string(); };
  ChooseAgain();
  EXPECT_EQ(Form.ReadOnlyNote(), "");
  EXPECT_EQ(Scan().rfind("2 records added; 0 records edited in ", 0), 0u);
  EXPECT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  EXPECT_EQ(Form.SigsTable.RecordCount(), 2);
}

// Reading takes no lock that needs write access, yet a writer and a reader of the same tables still
// keep each other out.
TEST_F(ReadOnlyFolderTest, AWriterAndAReaderExcludeEachOther) {
  MakeTables();
  Form.SetDirEditText(Other.Path());
  RefuseWriting("Read-only file system");
  const std::string inUse =
      "Tabrix Engine Error # 11013 Access denied to table 'Sigs' (another Velquin is using this folder)";
  {
    TTable sigs("SigsTable");
    TTable matches("MatchesTable");
    OpenTables(sigs, matches, Pictures.Path());
    Form.SetDirEditText(Pictures.Path());
    ASSERT_EQ(Desktop.Errors.size(), 1u);
    EXPECT_EQ(Desktop.Errors.back(), inUse);
  }
  Form.SetDirEditText(Other.Path());
  Form.SetDirEditText(Pictures.Path());
  ASSERT_EQ(Desktop.Errors.size(), 1u) << Desktop.Errors.back();
  ASSERT_TRUE(Form.SigsTable.OpenedReadOnly());

  // A writer gets the files for reading only beside the reader, and so cannot ready them for writing.
  TTable sigs("SigsTable");
  TTable matches("MatchesTable");
  try {
    OpenTables(sigs, matches, Pictures.Path());
    ADD_FAILURE() << "a writer opened the tables a reader holds";
  } catch (const std::exception& error) {
    EXPECT_EQ(std::string(error.what()), "Tabrix Engine Error # 11013 Access denied to table 'Sigs'");
  }
  // Another reader, a listing for one, reads beside it.
  TTable reader("MatchesTable");
  reader.DatabaseName = Pictures.Path();
  reader.TableName = "Matches.Dat";
  OpenTableToRead(reader);
  EXPECT_EQ(reader.RecordCount(), 2);
}

// A real read-only file system, told by the default WriteProblemOf. Needs the right to mount
// (root): set VELQUIN_MOUNT_TESTS=1 to run it.
TEST_F(ReadOnlyFolderTest, ReadOnlyMountIsListedAndRefusesWithTheSystemsReason) {
  const char* optIn = std::getenv("VELQUIN_MOUNT_TESTS");
  if (optIn == nullptr || std::string(optIn) != "1") GTEST_SKIP() << "set VELQUIN_MOUNT_TESTS=1 to mount";
  const std::string mountPoint = Pictures.Path();
  if (::mount("velquin-test", mountPoint.c_str(), "tmpfs", 0, "size=4m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  struct TUnmount {
    std::string Path;
    ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{mountPoint};
  MakeTables();
  Form.SetDirEditText(Other.Path());
  ASSERT_EQ(::mount("velquin-test", mountPoint.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=4m"), 0)
      << std::strerror(errno);

  const TListing before = ListingOf(Pictures.Path());
  Form.SetDirEditText(Pictures.Path());
  ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  EXPECT_EQ(Form.ReadOnlyNote(), "This folder cannot be written: Read-only file system");
  EXPECT_EQ(Form.MatchesTable.RecordCount(), 2);
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (2)");
  Form.CompSigsButtonClick();
  ASSERT_EQ(Desktop.Errors.size(), 1u);
  EXPECT_EQ(Desktop.Errors.back(), Form.ReadOnlyNote());
  EXPECT_EQ(ListingOf(Pictures.Path()), before);
}

}  // namespace
}  // namespace velquin

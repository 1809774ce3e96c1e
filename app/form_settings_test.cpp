#include <sys/stat.h>

#include "app/program_tables.h"
#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/text_file.h"

namespace velquin {
namespace {

using SettingsTest = FormTest;

TEST_F(SettingsTest, FirstRunDefaultsAndQuitWritesEveryKey) {
  Form.FormCreate();
  EXPECT_TRUE(Desktop.Errors.empty());
  const TFormLayout& l = Form.Layout();
  EXPECT_EQ(l.Left, 271);
  EXPECT_EQ(l.Top, 136);
  EXPECT_EQ(l.Width, 696);
  EXPECT_EQ(l.Height, 480);
  EXPECT_EQ(Form.MarginEditText(), "10");
  EXPECT_TRUE(Form.ForceCB() && Form.NormalizeCB() && Form.IncrMatchCB() && Form.ColorsCB());
  EXPECT_FALSE(Form.SubfoldersCB() || Form.TurnedCB() || Form.GrayCB() || Form.AllFormatsCB());
  EXPECT_EQ(Form.DirEditText(), "");
  EXPECT_TRUE(Form.LBItems().empty());
  EXPECT_FALSE(Form.SigsTable.Active());

  Form.FormDestroy();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(
      ReadWholeFile(AppDir.Path() + "Velquin2.INI"),
      "[Form]\r\nLeft=271\r\nTop=136\r\nHeight=480\r\nWidth=696\r\n[DirEdit]\r\nText=\r\n"
      "[MarginEdit]\r\nText=10\r\n[Force]\r\nValue=Yes\r\n[Normalize]\r\nValue=Yes\r\n"
      "[IncrMatch]\r\nValue=Yes\r\n[Colors]\r\nValue=Yes\r\n[Subfolders]\r\nValue=No\r\n"
      "[Turned]\r\nValue=No\r\n[Gray]\r\nValue=No\r\n[AllFormats]\r\nValue=No\r\n[Panel5]\r\nWidth=233\r\n"
      "[LB]\r\nHeight=97\r\n[DBGrid]\r\nHeight=120\r\n");
  EXPECT_EQ(ReadWholeFile(AppDir.Path() + "DirList.Txt"), "");
  EXPECT_TRUE(FileExists(AppDir.Path() + "DirList.Txt"));
}

TEST_F(SettingsTest, RoundTripRestoresFolderOptionsAndLayout) {
  Form.FormCreate();
  ChooseFolder();
  Form.SetMarginEditText("abc");
  Form.SetForceCB(false);
  Form.SetColorsCB(false);
  Form.SetSubfoldersCB(true);
  Form.SetGrayCB(true);
  Form.Layout().Left = 5;
  Form.Layout().Panel5Width = 300;
  Form.FormDestroy();
  ASSERT_TRUE(Desktop.Errors.empty());
  // The tables are open for exclusive use: a second form could not open them.
  Form.SigsTable.Close();
  Form.MatchesTable.Close();

  TRecordingDesktop desktop;
  TForm1 again(desktop, AppDir.Path());
  again.FormCreate();
  EXPECT_TRUE(desktop.Errors.empty());
  EXPECT_EQ(again.DirEditText(), Pictures.Path());
  EXPECT_TRUE(again.SigsTable.Active());
  EXPECT_EQ(again.LBItems(), std::vector<std::string>{Pictures.Path()});
  // A Margin text that is no number comes back as it was and fails only when a pass parses it.
  EXPECT_EQ(again.MarginEditText(), "abc");
  EXPECT_FALSE(again.ForceCB());
  EXPECT_TRUE(again.NormalizeCB());
  EXPECT_FALSE(again.ColorsCB());
  EXPECT_TRUE(again.SubfoldersCB());
  EXPECT_FALSE(again.TurnedCB());
  EXPECT_TRUE(again.GrayCB());
  EXPECT_FALSE(again.AllFormatsCB());
  EXPECT_EQ(again.Layout().Left, 5);
  EXPECT_EQ(again.Layout().Panel5Width, 300);
  EXPECT_EQ(again.lSigsDB(), "Signatures DB (0/0)");
  again.SigsTable.Close();
  again.MatchesTable.Close();
}

TEST_F(SettingsTest, ReadingRules) {
  WriteLinesCRLF(AppDir.Path() + "Velquin2.INI",
                 {"[Form]", "Width=abc", "Height=0x300", "Left=$10", "[Force]", "Value=yes", "[Normalize]",
                  "Value=No", "[Colors]", "Value=Yes", "[Turned]", "Value=Yes", "[Gray]", "Value=yes"});
  WriteLinesCRLF(AppDir.Path() + "DirList.Txt", {"/b/", "/A/", "/c/", "/a/", "/b/"});
  Form.FormCreate();
  EXPECT_EQ(Form.Layout().Width, 696);
  EXPECT_EQ(Form.Layout().Height, 768);
  EXPECT_EQ(Form.Layout().Left, 16);
  EXPECT_FALSE(Form.ForceCB());  // only "Yes" in this letter case reads true
  EXPECT_FALSE(Form.NormalizeCB());
  EXPECT_TRUE(Form.IncrMatchCB());  // missing: the default
  EXPECT_TRUE(Form.ColorsCB());
  EXPECT_TRUE(Form.TurnedCB());
  EXPECT_FALSE(Form.GrayCB());
  EXPECT_FALSE(Form.SubfoldersCB());  // missing: not ticked
  EXPECT_FALSE(Form.AllFormatsCB());
  // Sorted without regard to case, duplicates kept.
  EXPECT_EQ(Form.LBItems(), (std::vector<std::string>{"/A/", "/a/", "/b/", "/b/", "/c/"}));
  Form.FormDestroy();
  EXPECT_EQ(ReadLines(AppDir.Path() + "DirList.Txt"), Form.LBItems());
}

TEST_F(SettingsTest, UnwritableSettingsReportAndKeepTheFolderListUnsaved) {
  Form.FormCreate();
  mkdir((AppDir.Path() + "Velquin2.INI").c_str(), 0700);  // a folder where the file should go
  Form.FormDestroy();
  ASSERT_EQ(Desktop.Errors.size(), 1u);
  EXPECT_EQ(Desktop.Errors[0], "Unable to write to " + AppDir.Path() + "Velquin2.INI");
  EXPECT_FALSE(FileExists(AppDir.Path() + "DirList.Txt"));
}

TEST_F(SettingsTest, FailureOpeningTheSavedFolderEndsFormCreateThere) {
  const std::string missing = Pictures.Path() + "missing/";
  WriteLinesCRLF(AppDir.Path() + "Velquin2.INI", {"[DirEdit]", "Text=" + missing, "[MarginEdit]", "Text=7"});
  WriteLinesCRLF(AppDir.Path() + "DirList.Txt", {"/x/"});
  Form.FormCreate();
  EXPECT_EQ(Desktop.Errors, std::vector<std::string>{missing + ": no such folder"});
  EXPECT_EQ(Form.MarginEditText(), "10");  // the later settings were not applied
  EXPECT_TRUE(Form.LBItems().empty());
  EXPECT_FALSE(Form.SigsTable.Active());
}

// Closing saves the folder text, except one that could not be opened: the saved folder (or the last
// one opened since) is kept in its place.
TEST_F(SettingsTest, AFolderThatCouldNotBeOpenedIsNotSavedOverTheSavedOne) {
  TTestDir other;
  TTestDir inUse;
  const std::string missing = Pictures.Path() + "missing/";
  struct TCase {
    const char* name;
    std::string startFolder;         // the saved folder at start
    std::vector<std::string> typed;  // folder texts typed in turn
    std::string saved;               // the folder saved at close
  };
  const TCase cases[] = {
      {"missing typed", Pictures.Path(), {missing}, Pictures.Path()},
      {"in use typed", Pictures.Path(), {inUse.Path()}, Pictures.Path()},
      {"saved one missing now", missing, {}, missing},
      {"saved one missing, another typed", missing, {other.Path()}, other.Path()},
      {"another opened after the failure", Pictures.Path(), {missing, other.Path()}, other.Path()},
      {"failure after another", Pictures.Path(), {other.Path(), missing}, other.Path()},
      {"blanked", Pictures.Path(), {""}, ""},
  };
  TTable heldSigs("SigsTable");
  TTable heldMatches("MatchesTable");
  OpenTables(heldSigs, heldMatches, inUse.Path());
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriteLinesCRLF(AppDir.Path() + "Velquin2.INI", {"[DirEdit]", "Text=" + c.startFolder});
    {
      TRecordingDesktop desktop;
      TForm1 form(desktop, AppDir.Path());
      form.FormCreate();
      for (const std::string& text : c.typed) form.SetDirEditText(text);
      form.FormDestroy();
    }
    TRecordingDesktop desktop;
    TForm1 again(desktop, AppDir.Path());
    again.FormCreate();
    EXPECT_EQ(again.DirEditText(), c.saved);
  }
}

}  // namespace
}  // namespace velquin

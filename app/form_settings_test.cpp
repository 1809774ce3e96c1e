#include <sys/stat.h>

#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/text_file.h"

namespace velquin {
namespace {

using SettingsTest = FormTest;

TEST_F(SettingsTest, FirstRunDefaultsAndQuitWritesAllThirteenKeys) {
  Form.FormCreate();
  EXPECT_TRUE(Desktop.Errors.empty());
  const TFormLayout& l = Form.Layout();
  EXPECT_EQ(l.Left, 271);
  EXPECT_EQ(l.Top, 136);
  EXPECT_EQ(l.Width, 696);
  EXPECT_EQ(l.Height, 480);
  EXPECT_EQ(Form.MarginEditText(), "10");
  EXPECT_TRUE(Form.ForceCB() && Form.NormalizeCB() && Form.IncrMatchCB() && Form.ColorsCB());
  EXPECT_EQ(Form.DirEditText(), "");
  EXPECT_TRUE(Form.LBItems().empty());
  EXPECT_FALSE(Form.SigsTable.Active());

  Form.FormDestroy();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(ReadWholeFile(AppDir.Path() + "Velquin2.INI"),
            "[Form]\r\nLeft=271\r\nTop=136\r\nHeight=480\r\nWidth=696\r\n[DirEdit]\r\nText=\r\n"
            "[MarginEdit]\r\nText=10\r\n[Force]\r\nValue=Yes\r\n[Normalize]\r\nValue=Yes\r\n"
            "[IncrMatch]\r\nValue=Yes\r\n[Colors]\r\nValue=Yes\r\n[Panel5]\r\nWidth=233\r\n"
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
  EXPECT_EQ(again.Layout().Left, 5);
  EXPECT_EQ(again.Layout().Panel5Width, 300);
  EXPECT_EQ(again.lSigsDB(), "Signatures DB (0/0)");
  again.SigsTable.Close();
  again.MatchesTable.Close();
}

TEST_F(SettingsTest, ReadingRules) {
  WriteLinesCRLF(AppDir.Path() + "Velquin2.INI",
                 {"[Form]", "Width=abc", "Height=0x300", "Left=$10", "[Force]", "Value=yes", "[Normalize]",
                  "Value=No", "[Colors]", "Value=Yes"});
  WriteLinesCRLF(AppDir.Path() + "DirList.Txt", {"/b/", "/A/", "/c/", "/a/", "/b/"});
  Form.FormCreate();
  EXPECT_EQ(Form.Layout().Width, 696);
  EXPECT_EQ(Form.Layout().Height, 768);
  EXPECT_EQ(Form.Layout().Left, 16);
  EXPECT_FALSE(Form.ForceCB());  // only "Yes" in this letter case reads true
  EXPECT_FALSE(Form.NormalizeCB());
  EXPECT_TRUE(Form.IncrMatchCB());  // missing: the default
  EXPECT_TRUE(Form.ColorsCB());
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
  WriteLinesCRLF(AppDir.Path() + "Velquin2.INI",
                 {"[DirEdit]", "Text=" + Pictures.Path() + "missing/", "[MarginEdit]", "Text=7"});
  WriteLinesCRLF(AppDir.Path() + "DirList.Txt", {"/x/"});
  Form.FormCreate();
  ASSERT_EQ(Desktop.Errors.size(), 1u);
  EXPECT_EQ(Form.MarginEditText(), "10");  // the later settings were not applied
  EXPECT_EQ(Form.LBItems(), std::vector<std::string>{Pictures.Path() + "missing/"});
}

}  // namespace
}  // namespace velquin

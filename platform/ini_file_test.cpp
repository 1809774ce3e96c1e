#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_dir.h"

namespace velquin {
namespace {

TEST(IniFileTest, MissingFileGivesDefaults) {
  TTestDir dir;
  const TIniFile ini(dir.Path() + "Velquin2.INI");
  EXPECT_EQ(ini.ReadString("DirEdit", "Text", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadInteger("Form", "Left", 271), 271);
  EXPECT_TRUE(ReadYesNo(ini, "Force", "Value", true));
  EXPECT_FALSE(ReadYesNo(ini, "Force", "Value", false));
}

TEST(IniFileTest, ReadIntegerRules) {
  const struct {
    const char* Text;
    std::int32_t Expected;
  } cases[] = {
      {"0x300", 768},
      {"0X1f", 31},
      {"$1F", 31},
      {"$", 696},
      {"0x", 696},
      {"abc", 696},
      {"12abc", 696},
      {"", 696},
      {"480", 480},
      {"-5", -5},
      {"+7", 7},
      {"-0x10", -16},
      {"--5", 696},
      {"1.5", 696},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", 696},
      {"0x7FFFFFFF", 2147483647},
      {"$100000000", 696},
      {" 42 ", 42},
      {"0x-1", 696},
  };
  TTestDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TIniFile ini(dir.WriteFile("a.ini", std::string("[Form]\r\nWidth=") + c.Text + "\r\n"));
    EXPECT_EQ(ini.ReadInteger("Form", "Width", 696), c.Expected);
  }
}

TEST(IniFileTest, ReadYesNoIsCaseSensitive) {
  const struct {
    const char* Text;
    bool Expected;
  } cases[] = {{"Yes", true}, {"No", false}, {"yes", false}, {"YES", false}, {"1", false}, {"", false}};
  TTestDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TIniFile ini(dir.WriteFile("a.ini", std::string("[Force]\nValue=") + c.Text + "\n"));
    EXPECT_EQ(ReadYesNo(ini, "Force", "Value", true), c.Expected);
  }
}

TEST(IniFileTest, NamesIgnoreCaseAndValuesLoseBlanksAndQuotes) {
  TTestDir dir;
  const TIniFile ini(dir.WriteFile("a.ini",
                                   "Orphan=1\n[other]\nText=wrong\n; Text=comment\n"
                                   " [ DirEdit ] \r\n;Text=comment\r\n  text =  \"/a b/\"  \r"
                                   "Text=second\r\n[Margin]\nQ='x'\nHalf=\"x\n"));
  EXPECT_EQ(ini.ReadString("diredit", "TEXT", "?"), "/a b/");
  EXPECT_EQ(ini.ReadString("Margin", "Q", "?"), "x");
  EXPECT_EQ(ini.ReadString("Margin", "Half", "?"), "\"x");
  EXPECT_EQ(ini.ReadString("Margin", "Text", "?"), "?");
  EXPECT_EQ(ini.ReadString("", "Orphan", "?"), "?");
}

TEST(IniFileTest, ValueIsCutTo2047Characters) {
  TTestDir dir;
  TIniFile ini(dir.Path() + "a.ini");
  ini.WriteString("S", "K", std::string(5000, 'v'));
  EXPECT_EQ(ini.ReadString("S", "K", ""), std::string(2047, 'v'));
}

TEST(IniFileTest, WritesRoundTripAndKeepTheRest) {
  TTestDir dir;
  const std::string path = dir.WriteFile("a.ini",
                                         "; settings\r\n[Form]\r\nLeft=1\r\nTop=2\r\n\r\n"
                                         "[Other]\nKeep=this\n");
  TIniFile ini(path);
  ini.WriteInteger("form", "top", 136);
  ini.WriteInteger("Form", "Height", 480);
  WriteYesNo(ini, "Force", "Value", false);
  ini.WriteString("DirEdit", "Text", "  /pictures/ ");
  ini.WriteString("MarginEdit", "Text", "\"abc\"");
  ini.WriteString("Velquin", "Resume", "");
  EXPECT_EQ(ReadWholeFile(path),
            "; settings\r\n[Form]\r\nLeft=1\r\ntop=136\r\nHeight=480\r\n\r\n"
            "[Other]\r\nKeep=this\r\n"
            "[Force]\r\nValue=No\r\n"
            "[DirEdit]\r\nText=\"  /pictures/ \"\r\n"
            "[MarginEdit]\r\nText=\"\"abc\"\"\r\n"
            "[Velquin]\r\nResume=\r\n");
  EXPECT_EQ(ini.ReadInteger("Form", "Top", 0), 136);
  EXPECT_FALSE(ReadYesNo(ini, "Force", "Value", true));
  EXPECT_EQ(ini.ReadString("DirEdit", "Text", ""), "  /pictures/ ");
  EXPECT_EQ(ini.ReadString("MarginEdit", "Text", ""), "\"abc\"");
  EXPECT_EQ(ini.ReadString("Other", "Keep", ""), "this");
}

TEST(IniFileTest, LineBreaksInValueCannotAddKeys) {
  TTestDir dir;
  TIniFile ini(dir.Path() + "a.ini");
  ini.WriteString("DirEdit", "Text", "/x\r\n[Force]\nValue=No");
  EXPECT_EQ(ini.ReadString("DirEdit", "Text", ""), "/x  [Force] Value=No");
  EXPECT_EQ(ini.ReadString("Force", "Value", "none"), "none");
}

TEST(IniFileTest, UnwritableFileRaisesError) {
  TTestDir dir;
  const std::string path = dir.WriteFile("plain") + "/Velquin2.INI";
  TIniFile ini(path);
  try {
    ini.WriteInteger("Form", "Left", 1);
    FAIL() << "no error";
  } catch (const EIniFileError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
  }
  EXPECT_EQ(ini.ReadInteger("Form", "Left", 7), 7);
}

}  // namespace
}  // namespace velquin

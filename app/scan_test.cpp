#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/text_file.h"

namespace velquin {
namespace {

constexpr std::uint32_t Gray(std::uint32_t v) { return v << 16 | v << 8 | v; }

class ScanTest : public FormTest {
 protected:
  void SetUp() override {
    Form.SetNormalizeCB(false);  // solid pictures keep distinct signatures
    Form.SetIncrMatchCB(false);
    Form.SetForceCB(false);
    ChooseFolder();
  }
  std::string Picture(const std::string& name, std::uint32_t rgb) {
    const std::string path = Pictures.Path() + name;
    WriteBmp(path, 8, 8, rgb);
    return path;
  }
  // The log pane's lines from index `from` on.
  std::vector<std::string> LogFrom(std::size_t from) {
    return {Form.Memo1().begin() + static_cast<std::ptrdiff_t>(from), Form.Memo1().end()};
  }
};

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST_F(ScanTest, SecondScanOfAnUnchangedFolderLoadsNothing) {
  Picture("a.bmp", Gray(10));
  Picture("b.BMP", Gray(100));
  Picture("c.bmp", Gray(200));
  EXPECT_TRUE(StartsWith(Scan(), "3 records added; 0 records edited in "));
  EXPECT_EQ(SigsNames(), (std::vector<std::string>{"a.bmp", "b.BMP", "c.bmp"}));
  EXPECT_EQ(Form.lSigsDB(), "Signatures DB (3/3)");
  EXPECT_EQ(Form.lTitle(), "");
  EXPECT_EQ(Desktop.CursorNow, TCursor::crDefault);
  EXPECT_EQ(ReadWholeFile(AppDir.Path() + "log.txt"), Pictures.Path() + "\r\n");

  const std::size_t before = Form.Memo1().size();
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  EXPECT_EQ(LogFrom(before), std::vector<std::string>{Pictures.Path()});
  EXPECT_TRUE(Desktop.Errors.empty());
}

TEST_F(ScanTest, ForceLoadsAgainButEditsOnlyChangedSignatures) {
  Picture("a.bmp", Gray(10));
  Picture("b.bmp", Gray(100));
  Scan();
  Form.SetForceCB(true);
  const std::size_t before = Form.Memo1().size();
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  std::vector<std::string> log = LogFrom(before);
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[2], Pictures.Path());
  std::sort(log.begin(), log.end());
  EXPECT_EQ(log, (std::vector<std::string>{Pictures.Path(), "a.bmp", "a.bmp", "b.bmp", "b.bmp"}));
  // Normalize alone changes nothing for up-to-date pictures; with Force every changed row counts.
  Form.SetForceCB(false);
  Form.SetNormalizeCB(true);
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  Form.SetForceCB(true);
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 2 records edited in "));
}

TEST_F(ScanTest, RenamedAndDeletedFiles) {
  Picture("a.bmp", Gray(10));
  Picture("b.bmp", Gray(100));
  Picture("c.bmp", Gray(200));
  Scan();
  ASSERT_EQ(std::rename((Pictures.Path() + "a.bmp").c_str(), (Pictures.Path() + "z.bmp").c_str()), 0);
  ASSERT_EQ(std::remove((Pictures.Path() + "b.bmp").c_str()), 0);
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  EXPECT_EQ(SigsNames(), (std::vector<std::string>{"c.bmp", "z.bmp"}));
}

TEST_F(ScanTest, NewDateSamePixelsIsLoadedEveryTimeButNeverEdited) {
  const std::string a = Picture("a.bmp", Gray(10));
  Scan();
  SetFileTime(a, 1500000000);
  for (int round = 0; round < 2; ++round) {
    const std::size_t before = Form.Memo1().size();
    EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
    EXPECT_EQ(LogFrom(before), (std::vector<std::string>{"a.bmp", Pictures.Path(), "a.bmp"}));
  }
}

TEST_F(ScanTest, WhatIsNotAPictureFile) {
  Picture("a.Bmp", Gray(10));
  Pictures.WriteFile("bad.jpg", "not a picture");
  Pictures.WriteFile("skip.jpeg", "x");
  Pictures.WriteFile("skip.png", "x");
  Pictures.WriteFile("noextension", "x");
  mkdir((Pictures.Path() + "sub.jpg").c_str(), 0700);
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  EXPECT_EQ(SigsNames(), std::vector<std::string>{"a.Bmp"});
  EXPECT_EQ(Form.Memo1().front(), "Unable to process \"" + Pictures.Path() + "bad.jpg\"");
  // The subfolder named like a picture is listed, then not loaded: it is no file.
  EXPECT_EQ(std::count(Form.Memo1().begin(), Form.Memo1().end(), "sub.jpg"), 2);
  EXPECT_TRUE(Desktop.Errors.empty());
  // The undecodable picture is tried again by the next scan.
  const std::size_t before = Form.Memo1().size();
  Scan();
  EXPECT_EQ(Form.Memo1().front(), "Unable to process \"" + Pictures.Path() + "bad.jpg\"");
  EXPECT_GT(Form.Memo1().size(), before + 1);
}

TEST_F(ScanTest, IncrementalMatchFindsOnlyLaterPartners) {
  Picture("a.bmp", Gray(100));
  Picture("c.bmp", Gray(116));
  Scan();
  Form.SetIncrMatchCB(true);
  Picture("b.bmp", Gray(108));
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  // b comes after a in signature order: only c, after b, is found now.
  EXPECT_EQ(MatchRows(),
            std::vector<std::string>{"8|" + Pictures.Path() + "b.bmp|" + Pictures.Path() + "c.bmp"});
  EXPECT_EQ(Form.lMatchesDB(), "Matches DB (1)");
  // The pass finds both, a first in either pair.
  MatchPass();
  EXPECT_EQ(MatchRows(),
            (std::vector<std::string>{"8|" + Pictures.Path() + "a.bmp|" + Pictures.Path() + "b.bmp",
                                      "8|" + Pictures.Path() + "b.bmp|" + Pictures.Path() + "c.bmp"}));
}

TEST_F(ScanTest, MarginThatIsNoNumberEndsTheScanAfterTheFirstStoredRow) {
  Picture("a.bmp", Gray(10));
  Picture("b.bmp", Gray(100));
  Form.SetIncrMatchCB(true);
  Form.SetMarginEditText("abc");
  EXPECT_TRUE(StartsWith(Scan(), "1 records added; 0 records edited in "));
  ASSERT_EQ(Desktop.Errors, std::vector<std::string>{"'abc' is not a valid integer value"});
  EXPECT_EQ(Form.SigsTable.RecordCount(), 1);
  EXPECT_EQ(Form.lTitle(), "");
  EXPECT_EQ(Desktop.CursorNow, TCursor::crDefault);
  // log.txt was released: the next scan can create it again.
  Form.SetMarginEditText("10");
  Desktop.Errors.clear();
  Scan();
  EXPECT_TRUE(Desktop.Errors.empty());
  EXPECT_EQ(Form.SigsTable.RecordCount(), 2);
}

TEST_F(ScanTest, AutoRunShowsNoDialog) {
  Picture("a.bmp", Gray(10));
  Form.FAutoRun = true;
  EXPECT_EQ(Scan(), "");
  Form.FAutoRun = false;
}

}  // namespace
}  // namespace velquin

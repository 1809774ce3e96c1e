// Stopping a running command, and what its closing dialog says of the stop and of the problems.
#include <string>
#include <vector>

#include "app/form_view.h"
#include "app/test_support.h"
#include "tablestore/table.h"

namespace velquin {
namespace {

constexpr int kPictures = 6;

// A view that lists the problems, as the window does.
class TProblemListView : public TFormView {
 public:
  void FormChanged(TFormPart) override {}
  void MemoChanged(TMemoChange, const std::string&) override {}
  void CloseRequested() override {}
  bool ShowsPairPictures() const override { return false; }
  bool ShowsProblemList() const override { return true; }
};

class StopTest : public FormTest {
 protected:
  StopTest() {
    ChooseFolder();
    // Alike pictures: every two of them make a pair.
    for (int i = 0; i < kPictures; ++i)
      WriteBmp(Pictures.Path() + "p" + std::to_string(i) + ".bmp", 8, 8,
               0x404040u + static_cast<std::uint32_t>(i));
  }

  // Asks for a stop once the phase has done `after` items.
  void StopAfter(std::int64_t after, bool inMatchPass) {
    Desktop.OnMessages = [this, after, inMatchPass] {
      const TProgress& progress = Form.Progress();
      if (progress.MatchPassRunning() == inMatchPass && progress.ItemsDone() >= after) Form.StopButtonClick();
    };
  }
};

TEST_F(StopTest, AStoppedScanKeepsTheRowsItStoredAndSaysSo) {
  Form.SetIncrMatchCB(false);
  StopAfter(2, false);
  const std::string dialog = Scan();
  Desktop.OnMessages = nullptr;
  EXPECT_TRUE(dialog.starts_with("Stopped: ")) << dialog;
  EXPECT_NE(dialog.find(" records added; "), std::string::npos) << dialog;
  EXPECT_EQ(Desktop.Messages.size(), 1u) << "one closing dialog";
  EXPECT_GE(Form.SigsTable.RecordCount(), 2);
  EXPECT_LT(Form.SigsTable.RecordCount(), kPictures);
  EXPECT_FALSE(Form.Busy());
  EXPECT_FALSE(Form.StopRequested());
  EXPECT_EQ(Form.ProgressLine(), "");
  EXPECT_TRUE(Desktop.Errors.empty());
  // The next scan runs to its end and does the rest.
  const std::string rest = std::to_string(kPictures - Form.SigsTable.RecordCount());
  EXPECT_TRUE(Scan().starts_with(rest + " records added"));
  EXPECT_EQ(Form.SigsTable.RecordCount(), kPictures);
}

// The match pass and Auto show no dialog of their own when stopped: the form tells how far they came.
TEST_F(StopTest, AStoppedMatchPassOrAutoKeepsThePairsFoundAndSaysHowFarItCame) {
  struct TCase {
    const char* name;
    bool autoRun;
  };
  for (const TCase c : {TCase{"Matches", false}, TCase{"Auto", true}}) {
    SCOPED_TRACE(c.name);
    Form.SetIncrMatchCB(false);
    Desktop.Messages.clear();
    if (!c.autoRun) {
      ASSERT_TRUE(Scan().starts_with(std::to_string(kPictures) + " records added"));
    }
    StopAfter(3, true);
    if (c.autoRun) {
      Form.AutoButtonClick();
    } else {
      MatchPass();
    }
    Desktop.OnMessages = nullptr;
    const std::size_t dialogs = c.autoRun ? 1 : 2;
    ASSERT_EQ(Desktop.Messages.size(), dialogs);
    EXPECT_TRUE(
        Desktop.Messages.back().starts_with("Stopped: 3 out of " + std::to_string(kPictures) + " done in "))
        << Desktop.Messages.back();
    const auto rows = Form.MatchesTable.RecordCount();
    EXPECT_GT(rows, 0) << "pairs found before the stop stay";
    EXPECT_LT(rows, kPictures * (kPictures - 1) / 2);
    EXPECT_FALSE(Form.Busy());
    EXPECT_FALSE(Form.FAutoRun);
    EXPECT_TRUE(Form.ReviewButtonsEnabled());
    EXPECT_TRUE(Desktop.Errors.empty());
    Form.ClearButtonClick();
    ChooseFolder();
  }
}

TEST_F(StopTest, StopWithNoCommandRunningDoesNothing) {
  Form.StopButtonClick();
  EXPECT_FALSE(Form.StopRequested());
  EXPECT_TRUE(Scan().starts_with(std::to_string(kPictures) + " records added"));
}

TEST_F(StopTest, TheClosingDialogPointsToTheProblemsWhenTheViewListsThem) {
  Pictures.WriteFile("bad1.jpg", "not a picture");
  Pictures.WriteFile("bad2.gif", "not a picture");
  Form.SetIncrMatchCB(false);
  EXPECT_EQ(Scan().find("could not be processed"), std::string::npos) << "velquin-cli lists them itself";
  TProblemListView view;
  Form.SetView(&view);
  const std::string dialog = Scan();
  EXPECT_TRUE(dialog.starts_with("0 records added; 0 records edited in ")) << dialog;
  EXPECT_TRUE(dialog.ends_with("\n2 files could not be processed: see Problems")) << dialog;
  EXPECT_EQ(Form.Problems().size(), 2u);
  // Every command starts a new list; the match pass has no problems to tell.
  const std::string pass = MatchPass();
  EXPECT_TRUE(Form.Problems().empty());
  EXPECT_EQ(pass.find("could not be processed"), std::string::npos) << pass;
  Form.SetView(nullptr);
}

}  // namespace
}  // namespace velquin

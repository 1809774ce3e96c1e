// When the pair display decodes its pictures while a command appends pairs: never for a face that
// shows no pictures, aside and shown at a later repaint for a window, else once at the command's end.
// Finding the pair, and removing the pairs of vanished files, happens as the pairs come, whatever the
// face.
#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "app/form_view.h"
#include "app/test_support.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"

namespace velquin {
namespace {

// A face of the form as the pair display sees it.
class TPairView : public TFormView {
 public:
  explicit TPairView(bool showsPictures) : showsPictures_(showsPictures) {}
  void FormChanged(TFormPart part) override {
    if (part == TFormPart::PairPictures) RepaintAsked = true;
  }
  void MemoChanged(TMemoChange change, const std::string& line) override {
    if (change == TMemoChange::Appended && OnLogLine) OnLogLine(line);
  }
  void CloseRequested() override {}
  bool ShowsPairPictures() const override { return showsPictures_; }

  bool RepaintAsked = false;
  std::function<void(const std::string&)> OnLogLine;

 private:
  bool showsPictures_;
};

// NoView: the tests' bare form. Terminal: velquin-cli's kind of view. HiddenWindow: a window that
// is never repainted. Window: a window repainted whenever messages run after it asked for it.
enum class TFace { NoView, Terminal, HiddenWindow, Window };

const char* FaceName(TFace face) {
  switch (face) {
    case TFace::NoView:
      return "no view";
    case TFace::Terminal:
      return "terminal";
    case TFace::HiddenWindow:
      return "hidden window";
    case TFace::Window:
      return "window";
  }
  return "";
}

// Uniform on each cell of a 4 x 4 grid, so every size divisible by 4 has the same signature; the
// groups' cell values are shifted against each other far beyond the Margin.
std::function<std::uint32_t(std::int32_t, std::int32_t)> Pattern(int group, std::uint32_t lift,
                                                                 std::int32_t width, std::int32_t height) {
  return [=](std::int32_t x, std::int32_t y) {
    const std::int32_t cell = x * 4 / width * 4 + y * 4 / height;
    const auto level = static_cast<std::uint32_t>(20 + 13 * ((cell + 5 * group) % 16)) + lift;
    return (level << 16) | (level << 8) | (255 - level);
  };
}

// What a scan left behind, to compare between faces.
struct TOutcome {
  std::vector<std::string> Rows;
  std::vector<std::string> SearchLines;  // the "Evaluating" and "Adding" lines, sorted
  std::string Dialog;                    // up to its elapsed time
  std::string Counts;
  std::string Labels;
};

void ExpectSame(const TOutcome& outcome, const TOutcome& expected) {
  EXPECT_EQ(outcome.Rows, expected.Rows);
  EXPECT_EQ(outcome.SearchLines, expected.SearchLines);
  EXPECT_EQ(outcome.Dialog, expected.Dialog);
  EXPECT_EQ(outcome.Counts, expected.Counts);
  EXPECT_EQ(outcome.Labels, expected.Labels);
}

class PairPicturesTest : public FormTest {
 protected:
  void SetUp() override {
    for (int group = 0; group < 4; ++group) WritePair(group);
    ChooseFolder();
    Form.SetNormalizeCB(false);
    Scan();
    const auto count = [this](TBitmap32& bitmap) {
      if (bitmap.IsEmpty()) return;
      // The scan's closing dialog ends its work: what follows is the command's end.
      ++(repainting_                                ? DecodesAtRepaints
         : Desktop.Messages.size() > dialogsBefore_ ? DecodesAtEnd
                                                    : DecodesElsewhere);
    };
    Form.Im1.OnResize = count;
    Form.Im2.OnResize = count;
  }

  // Pictures a1/a2, b1/b2, c1/c2 and x1/x2: each pair matches, no two groups do.
  void WritePair(int group) {
    const std::string name = Pictures.Path() + "abcx"[group];
    WriteBmp(name + "1.bmp", 64, 48, Pattern(group, 0, 64, 48));
    WriteBmp(name + "2.bmp", 64, 48, Pattern(group, 1, 64, 48));
  }

  // The incremental search walks the index forward from each changed row. With the rows of the
  // "2" pictures stored and those of the "1" pictures (the lower signatures) stale, a scan changes
  // the "1" rows alone and finds all four pairs, in whatever order the folder lists the pictures.
  void MakeFirstPicturesStale() {
    TTable& sigs = Form.SigsTable;
    for (sigs.First(); !sigs.Eof(); sigs.Next()) {
      if (!sigs.FieldAsString("FileName").ends_with("1.bmp")) continue;
      sigs.Edit();
      sigs.SetFieldValue("Signature", std::string(192, '0'));
      sigs.Post();
    }
  }

  // Runs the Signatures command (IncrMatch ticked) on an empty Matches, watched by face; atMessages
  // runs each time the command lets messages run, before a window repaints.
  TOutcome ScanAs(TFace face, const std::function<void(TPairView*)>& setUp = {},
                  const std::function<void()>& atMessages = {}) {
    MakeFirstPicturesStale();
    Form.MatchesTable.EmptyTable();
    DecodesAtRepaints = DecodesAtEnd = DecodesElsewhere = Repaints = 0;
    dialogsBefore_ = Desktop.Messages.size();
    std::optional<TPairView> view;
    if (face != TFace::NoView) view.emplace(face != TFace::Terminal);
    Form.SetView(view ? &*view : nullptr);
    if (setUp) setUp(view ? &*view : nullptr);
    Desktop.OnMessages = [&] {
      // Decoding on the window's thread would let messages run inside the repaint.
      EXPECT_FALSE(repainting_) << "a repaint while the command runs decodes nothing itself";
      if (atMessages) atMessages();
      if (face != TFace::Window || !view->RepaintAsked) return;
      view->RepaintAsked = false;
      ++Repaints;
      const int before = DecodesAtRepaints;
      const std::size_t errors = Desktop.Errors.size();
      const std::string current = Form.MatchesTable.FieldAsString("File1");
      const auto repaint = [&] {
        const int shown = DecodesAtRepaints;
        repainting_ = true;
        Form.ShowPendingPairPictures();
        repainting_ = false;
        EXPECT_LE(DecodesAtRepaints - shown, 2) << "one pair per repaint";
        return Form.lFile1().starts_with(current + ": ") || Desktop.Errors.size() > errors;
      };
      // The pair is decoded aside while the command runs: the window repaints until it shows (for a
      // few seconds at most).
      bool shown = repaint();
      for (int i = 0; i < 5000 && !shown && Form.MatchesTable.RecordCount() > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        shown = repaint();
      }
      if (DecodesAtRepaints > before && Desktop.Errors.size() == errors) {
        EXPECT_TRUE(shown) << "the pair current now: " << Form.lFile1();
        // A pair decoded aside is described under its pictures as one decoded in place.
        if (shown) {
          EXPECT_EQ(Form.PairFacts(true).File, current);
          EXPECT_EQ(Form.PairFacts(true).Width, 64);
          EXPECT_GT(Form.PairFacts(false).Bytes, 0u);
        }
      }
    };
    const std::string dialog = Scan();
    Desktop.OnMessages = nullptr;
    Form.SetView(nullptr);

    TOutcome outcome;
    outcome.Rows = MatchRows();
    // This scan's lines follow the Folder's line, which it logs as its evaluation pass begins.
    const std::deque<std::string>& log = Form.Memo1();
    const auto folderLine = std::find(log.rbegin(), log.rend(), Pictures.Path());
    EXPECT_NE(folderLine, log.rend());
    for (auto line = folderLine.base(); line != log.end(); ++line) {
      if (line->starts_with("Evaluating \"") || line->starts_with("Adding \""))
        outcome.SearchLines.push_back(*line);
    }
    std::sort(outcome.SearchLines.begin(), outcome.SearchLines.end());
    outcome.Dialog = dialog.substr(0, dialog.find(" in "));
    outcome.Counts = Form.lSigsDB() + " " + Form.lMatchesDB();
    outcome.Labels = Form.lFile1() + "|" + Form.lFile2() + "|" + Form.lComp();
    return outcome;
  }

  // The labels describing the current row, as the pair display writes them.
  std::string CurrentPairLabels() {
    const auto describe = [](const std::string& file) {
      return file + ": " + IntToStrSep(GetFileSize(file)) + "; 64 x 48";
    };
    return describe(Form.MatchesTable.FieldAsString("File1")) + "|" +
           describe(Form.MatchesTable.FieldAsString("File2")) + "|Same Size";
  }

  int DecodesAtRepaints = 0;
  int DecodesAtEnd = 0;
  int DecodesElsewhere = 0;
  int Repaints = 0;

 private:
  bool repainting_ = false;
  std::size_t dialogsBefore_ = 0;
};

TEST_F(PairPicturesTest, PicturesAreDecodedOnlyWhereTheyAreSeen) {
  const TOutcome bare = ScanAs(TFace::NoView);
  ASSERT_EQ(bare.Rows.size(), 4u);
  EXPECT_EQ(std::count_if(bare.SearchLines.begin(), bare.SearchLines.end(),
                          [](const std::string& line) { return line.starts_with("Adding"); }),
            4);
  EXPECT_EQ(bare.Dialog, "0 records added; 4 records edited");
  EXPECT_EQ(bare.Labels, CurrentPairLabels());
  EXPECT_EQ(DecodesElsewhere, 0);
  EXPECT_EQ(DecodesAtEnd, 2);

  for (const TFace face : {TFace::Terminal, TFace::HiddenWindow, TFace::Window}) {
    SCOPED_TRACE(FaceName(face));
    TOutcome outcome = ScanAs(face);
    switch (face) {
      case TFace::Terminal:
        EXPECT_EQ(DecodesAtRepaints + DecodesAtEnd + DecodesElsewhere, 0);
        // Emptying Matches cleared the file labels; no pair was described since.
        EXPECT_TRUE(outcome.Labels.starts_with("||")) << outcome.Labels;
        outcome.Labels = bare.Labels;  // the rest is as for any other face
        break;
      case TFace::HiddenWindow:
        EXPECT_EQ(DecodesElsewhere, 0);
        EXPECT_EQ(DecodesAtEnd, 2);
        break;
      default:
        EXPECT_GT(Repaints, 0);
        EXPECT_GT(DecodesAtRepaints, 0);
        EXPECT_EQ(DecodesElsewhere, 0);
        EXPECT_LE(DecodesAtEnd, 2) << "only a pair found since the last repaint";
        break;
    }
    ExpectSame(outcome, bare);
    EXPECT_TRUE(Desktop.Errors.empty());
  }
}

// A picture deleted while the scan runs: the pair the search then appends for it goes at once, in
// the same way whatever the face, and nothing else is lost.
TEST_F(PairPicturesTest, APairOfAVanishedPictureGoesAsItIsAppended) {
  std::optional<TOutcome> first;
  for (const TFace face : {TFace::Terminal, TFace::HiddenWindow, TFace::Window}) {
    SCOPED_TRACE(FaceName(face));
    WritePair(3);
    std::string gone;
    bool appended = false;
    std::optional<std::vector<std::string>> rowsAfterAppend;
    const TOutcome outcome = ScanAs(
        face,
        [&](TPairView* view) {
          view->OnLogLine = [&](const std::string& line) {
            // x1 goes once its row is stored, just before its search finds x2.
            if (line == "Evaluating \"x1.bmp\"") {
              gone = Pictures.Path() + "x1.bmp";
              std::remove(gone.c_str());
            }
            appended = appended || line == "Adding \"x2.bmp\" (1)";
          };
        },
        [&] {
          if (appended && !rowsAfterAppend) rowsAfterAppend = MatchRows();
        });
    ASSERT_FALSE(gone.empty());
    EXPECT_TRUE(appended) << "the search found the pair";
    ASSERT_TRUE(rowsAfterAppend) << "messages ran after the pair was appended";
    for (const std::string& row : *rowsAfterAppend) EXPECT_EQ(row.find("/x"), std::string::npos) << row;
    EXPECT_EQ(outcome.Rows.size(), 3u);
    const std::vector<std::string> names = SigsNames();
    EXPECT_EQ(
        std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.starts_with("x"); }), 2)
        << "the scan kept both rows: the pair display removed the pair";
    if (face == TFace::Terminal) {
      EXPECT_EQ(DecodesAtRepaints + DecodesAtEnd + DecodesElsewhere, 0);
    }
    if (first) {
      EXPECT_EQ(outcome.Rows, first->Rows);
      EXPECT_EQ(outcome.SearchLines, first->SearchLines);
      EXPECT_EQ(outcome.Counts, first->Counts);
    } else {
      first = outcome;
    }
  }
}

// A pair that fails to decode at a repaint is reported once: neither later repaints nor the
// command's end try it again.
TEST_F(PairPicturesTest, AFailedDecodeIsReportedOnce) {
  const std::string bad = Pictures.WriteFile("bad.jpg", "not a picture");
  bool added = false;
  ScanAs(TFace::Window, {}, [&] {
    if (added) return;
    added = true;
    TTable& matches = Form.MatchesTable;
    matches.Append();
    matches.SetFieldValue("MaxDiff", 0);
    matches.SetFieldValue("File1", Pictures.Path() + "a1.bmp");
    matches.SetFieldValue("File2", bad);
    matches.Post();
  });
  EXPECT_EQ(Desktop.Errors.size(), 1u);
  EXPECT_GT(Repaints, 1);
}

}  // namespace
}  // namespace velquin

// The Turned and Gray tests through the form's tables: the match pass and the search of one row
// against the rules, pictures scanned from files, and tables made before the gray grids were kept.
#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "app/match_command.h"
#include "app/program_tables.h"
#include "app/test_support.h"
#include "matching/candidate_search.h"
#include "matching/clustered_signatures.h"
#include "matching/grid_symmetry.h"
#include "matching/match_rules.h"
#include "platform/file_utils.h"
#include "signature/gray_grid.h"

namespace velquin {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

const TMatchTests kEveryTests[] = {{false, false}, {true, false}, {false, true}, {true, true}};

std::string TestsName(TMatchTests tests) {
  return std::string(tests.Turned ? "turned" : "-") + (tests.Gray ? ", gray" : ", -");
}

class TurnedGrayTest : public FormTest {
 protected:
  void SetUp() override { ChooseFolder(); }

  void RunPass(TMatchTests tests) {
    TMatchCommand(Form, {Form.FAppDir, true, tests.Turned, tests.Gray}).Run();
    ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  }

  std::set<std::string> PassRows(TMatchTests tests) {
    RunPass(tests);
    const std::vector<std::string> rows = MatchRows();
    return {rows.begin(), rows.end()};
  }
};

TEST_F(TurnedGrayTest, PassAndRowSearchFindExactlyThePairsOfTheRules) {
  // Clustered rows, one in four a turned copy of an earlier one, one in five without a gray grid;
  // gray grids near those of earlier rows, some turned.
  std::mt19937 random(5);
  struct TStored {
    std::string name;
    TSignature signature;
    TGrayGrid gray;
    bool hasGray;
  };
  std::vector<TStored> stored;
  const std::vector<TSignature> clustered = ClusteredSignatures(random, 120, 6);
  std::uniform_int_distribution<int> delta(-4, 4), symmetry(1, kGridSymmetries - 1), value(0, 255);
  for (std::size_t i = 0; i < clustered.size(); ++i) {
    TStored row{"p" + std::to_string(1000 + i), clustered[i], {}, i % 5 != 4};
    if (i % 4 == 3)
      MoveCells(symmetry(random), stored[i / 2].signature.Cells.data(), row.signature.Cells.data(), 1);
    for (std::size_t k = 0; k < row.gray.Cells.size(); ++k) {
      row.gray.Cells[k] =
          i % 3 == 0 ? static_cast<std::uint8_t>(value(random))
                     : static_cast<std::uint8_t>(std::clamp(
                           stored[i - 1].gray.Cells[kSymmetrySource[i % 2 * 5][k]] + delta(random), 0, 255));
    }
    stored.push_back(row);
  }
  // Identical texts: the row stored first is File1, though the copy comes first by name.
  stored.push_back(stored[3]);
  stored.back().name = "a0";
  for (const TStored& row : stored) {
    Pictures.WriteFile(row.name, "");
    AddSigsRow(row.name, Pictures.Path(), SignatureToText(row.signature));
    if (!row.hasGray) continue;
    Form.SigsTable.Edit();
    Form.SigsTable.SetFieldValue("Gray", GrayGridToText(row.gray));
    Form.SigsTable.Post();
  }

  for (const bool colors : {true, false}) {
    const std::int32_t margin = colors ? 10 : 25;
    Form.SetColorsCB(colors);
    Form.SetMarginEditText(std::to_string(margin));
    std::size_t plainPairs = 0;
    for (const TMatchTests tests : kEveryTests) {
      SCOPED_TRACE(TestsName(tests) + (colors ? ", channel" : ", cell-sum"));
      // By File1: every pair, File1 the row whose text comes first (the earlier row on a tie).
      std::map<std::string, std::set<std::string>> expected;
      std::set<std::string> all;
      for (std::size_t i = 0; i < stored.size(); ++i) {
        for (std::size_t j = i + 1; j < stored.size(); ++j) {
          std::int32_t maxDiff = 0;
          const TStored& a = stored[i];
          const TStored& b = stored[j];
          if (!PairMatches({&a.signature, a.hasGray ? &a.gray : nullptr},
                           {&b.signature, b.hasGray ? &b.gray : nullptr}, margin, colors, tests, maxDiff)) {
            continue;
          }
          const bool iFirst = SignatureToText(a.signature) <= SignatureToText(b.signature);
          const std::string& file1 = iFirst ? a.name : b.name;
          const std::string row = std::to_string(maxDiff) + "|" + Pictures.Path() + file1 + "|" +
                                  Pictures.Path() + (iFirst ? b.name : a.name);
          expected[file1].insert(row);
          all.insert(row);
        }
      }
      // The rows are made so that each test adds pairs of its own.
      if (!tests.Any()) {
        plainPairs = all.size();
      } else {
        EXPECT_GT(all.size(), plainPairs);
      }
      EXPECT_EQ(PassRows(tests), all);

      // The search of each row alone finds its pairs with the rows after it in BySignature order.
      TTable& sigs = Form.SigsTable;
      for (sigs.First(); !sigs.Eof(); sigs.Next()) {
        Form.MatchesTable.EmptyTable();
        const std::string name = sigs.FieldAsString("FileName");
        FindMatchesFor(Form, margin, tests);
        EXPECT_EQ(sigs.FieldAsString("FileName"), name);
        const std::vector<std::string> rows = MatchRows();
        EXPECT_EQ(std::set<std::string>(rows.begin(), rows.end()), expected[name]) << name;
      }
    }
  }
}

// A picture with no symmetry: a gradient, and a block in its upper left quarter.
std::uint32_t Picture(std::int32_t x, std::int32_t y) {
  const std::uint32_t r = static_cast<std::uint32_t>(x * 255 / 400);
  const std::uint32_t g = static_cast<std::uint32_t>(y * 255 / 300);
  if (x > 40 && x < 160 && y > 30 && y < 110) return 0x2040E0;
  return r << 16 | g << 8 | 0x60;
}

std::uint32_t GrayOf(std::uint32_t rgb) {
  const std::uint32_t v =
      (19595 * (rgb >> 16 & 0xFF) + 38470 * (rgb >> 8 & 0xFF) + 7471 * (rgb & 0xFF) + 32768) >> 16;
  return v << 16 | v << 8 | v;
}

TEST_F(TurnedGrayTest, ScannedTurnedMirroredAndGrayCopiesArePairedUnderTheirTests) {
  const std::string folder = Pictures.Path();
  WriteBmp(folder + "original.bmp", 400, 300, Picture);
  WriteBmp(folder + "turned.bmp", 300, 400,
           [](std::int32_t x, std::int32_t y) { return Picture(y, 299 - x); });
  WriteBmp(folder + "mirrored.bmp", 400, 300,
           [](std::int32_t x, std::int32_t y) { return Picture(399 - x, y); });
  WriteBmp(folder + "gray.bmp", 400, 300,
           [](std::int32_t x, std::int32_t y) { return GrayOf(Picture(x, y)); });
  WriteBmp(folder + "other.bmp", 400, 300, [](std::int32_t x, std::int32_t y) {
    return static_cast<std::uint32_t>((x / 50 * 7 + y / 60 * 3) * 40503);
  });
  for (const bool normalize : {true, false}) {
    Form.SetNormalizeCB(normalize);
    Form.SetForceCB(true);
    Scan();
    const std::set<std::string> copies = {"original", "turned", "mirrored"};
    for (const TMatchTests tests : kEveryTests) {
      SCOPED_TRACE(TestsName(tests) + (normalize ? ", normalized" : ""));
      RunPass(tests);
      std::set<std::set<std::string>> pairs;
      for (const std::string& row : MatchRows()) {
        const std::size_t bar = row.find('|', row.find('|') + 1);
        const auto name = [](std::string file) {
          return file.substr(file.rfind('/') + 1, file.find(".bmp") - file.rfind('/') - 1);
        };
        pairs.insert(
            {name(row.substr(row.find('|') + 1, bar - row.find('|') - 1)), name(row.substr(bar + 1))});
      }
      std::set<std::set<std::string>> expected;
      if (tests.Turned)
        expected.insert({{"original", "turned"}, {"original", "mirrored"}, {"turned", "mirrored"}});
      if (tests.Gray) expected.insert({"original", "gray"});
      if (tests.Turned && tests.Gray) expected.insert({{"turned", "gray"}, {"mirrored", "gray"}});
      EXPECT_EQ(pairs, expected);
    }
  }
}

TEST_F(TurnedGrayTest, RowsOfATableMadeBeforeGrayGridsAreSignedAgainOnce) {
  const std::string folder = Pictures.Path();
  WriteBmp(folder + "a.bmp", 40, 30, Picture);
  // Sigs in the layout without Gray, its row dated as the file: up to date by its date alone.
  Form.SigsTable.Close();
  Form.MatchesTable.Close();
  DeleteTables(folder);
  TTable old("Old");
  old.DatabaseName = folder;
  old.TableName = "Sigs.Dat";
  SetSigsSchema(old);
  old.FieldDefs.pop_back();
  old.CreateTable();
  old.Open();
  old.Append();
  old.SetFieldValue("FileName", std::string("a.bmp"));
  old.SetFieldValue("FilePath", folder);
  old.SetFieldValue("FileDate", GetFileDate(folder + "a.bmp"));
  old.SetFieldValue("Signature", SignatureToText(TSignature{}));
  old.Post();
  old.Close();

  Form.SetForceCB(false);
  Form.DirEditChange();
  ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
  ASSERT_EQ(Form.SigsTable.RecordCount(), 1);
  EXPECT_EQ(Form.SigsTable.FieldAsString("Gray"), "");
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 1 records edited in "));
  Form.SigsTable.First();
  TGrayGrid grid;
  EXPECT_TRUE(ReadGrayText(Form.SigsTable.FieldText("Gray"), grid));
  const std::size_t before = Form.Memo1().size();
  EXPECT_TRUE(StartsWith(Scan(), "0 records added; 0 records edited in "));
  // The Folder line alone: nothing loaded.
  EXPECT_EQ(std::vector<std::string>(Form.Memo1().begin() + static_cast<std::ptrdiff_t>(before),
                                     Form.Memo1().end()),
            std::vector<std::string>{folder});
}

}  // namespace
}  // namespace velquin

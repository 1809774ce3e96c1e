// pairs and sigs over names holding every kind of byte a Linux name may hold: the text lines must
// keep one row per line and three or four fields, and pairs --json must parse as JSON and give the
// name back, exactly when it is UTF-8 and through the base64 member when it is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program_tables.h"
#include "cli/command_line.h"
#include "platform/test_dir.h"

namespace velquin {
namespace {

#define REPLACEMENT "\xEF\xBF\xBD"

struct TNameCase {
  const char* what;
  std::string name;     // the bytes stored
  std::string escaped;  // as the text listings show it
  std::string json;     // as "File1" shows it, decoded
  bool lossy;           // a _base64 member carries the bytes
};

const std::vector<TNameCase>& NameCases() {
  static const std::vector<TNameCase> cases = {
      {"plain", "a.jpg", "a.jpg", "a.jpg", false},
      {"TAB", "a\tb.jpg", "a\\tb.jpg", "a\tb.jpg", false},
      {"LF and CR", "line\nbreak\r.jpg", "line\\nbreak\\r.jpg", "line\nbreak\r.jpg", false},
      {"backslash", "back\\slash\\t.jpg", "back\\\\slash\\\\t.jpg", "back\\slash\\t.jpg", false},
      {"quotes", "\"quoted\" 'too'.jpg", "\"quoted\" 'too'.jpg", "\"quoted\" 'too'.jpg", false},
      {"other control characters", "bell\x07\x1b.jpg", "bell\x07\x1b.jpg", "bell\x07\x1b.jpg", false},
      {"valid multi-byte", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7.jpg",
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7.jpg", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7.jpg",
       false},
      {"lone 0xFF", "x\xFF.jpg", "x\xFF.jpg", "x" REPLACEMENT ".jpg", true},
      {"lone continuation byte", "x\x80.jpg", "x\x80.jpg", "x" REPLACEMENT ".jpg", true},
      {"truncated three-byte", "x\xE2\x82.jpg", "x\xE2\x82.jpg", "x" REPLACEMENT REPLACEMENT ".jpg", true},
      {"truncated at the end", "x.jpg\xF0\x9F\x93", "x.jpg\xF0\x9F\x93",
       "x.jpg" REPLACEMENT REPLACEMENT REPLACEMENT, true},
      {"overlong slash", "x\xC0\xAF.jpg", "x\xC0\xAF.jpg", "x" REPLACEMENT REPLACEMENT ".jpg", true},
      {"overlong three-byte", "x\xE0\x80\xAF.jpg", "x\xE0\x80\xAF.jpg",
       "x" REPLACEMENT REPLACEMENT REPLACEMENT ".jpg", true},
      {"surrogate", "x\xED\xA0\x80.jpg", "x\xED\xA0\x80.jpg", "x" REPLACEMENT REPLACEMENT REPLACEMENT ".jpg",
       true},
      {"above U+10FFFF", "x\xF4\x90\x80\x80.jpg", "x\xF4\x90\x80\x80.jpg",
       "x" REPLACEMENT REPLACEMENT REPLACEMENT REPLACEMENT ".jpg", true},
      {"invalid byte and TAB", "\xFE\tx.jpg", "\xFE\\tx.jpg", REPLACEMENT "\tx.jpg", true},
  };
  return cases;
}

std::string DecodeBase64(const std::string& text) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) throw std::runtime_error("base64 without its padding: " + text);
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    if (c == '=') break;
    const std::size_t value = alphabet.find(c);
    if (value == std::string::npos) throw std::runtime_error("not base64: " + text);
    bits = bits << 6 | static_cast<std::uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == '\t')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

std::string Listing(const TCommandArgs& args) {
  std::ostringstream out, err;
  EXPECT_EQ(RunCommandLine(args, out, err), 0) << err.str();
  return out.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

class ListingNamesTest : public ::testing::Test {
 protected:
  // File1 is the case's name in the folder, File2 the same with ".copy" added; MaxDiff numbers the
  // cases so that the index lists them in the table's order.
  void AddPairs() {
    TTable sigs("SigsTable"), matches("MatchesTable");
    OpenTables(sigs, matches, Folder.Path());
    for (std::size_t i = 0; i < NameCases().size(); ++i) {
      matches.Append();
      matches.SetFieldValue("MaxDiff", static_cast<std::int32_t>(i));
      matches.SetFieldValue("File1", Folder.Path() + NameCases()[i].name);
      matches.SetFieldValue("File2", Folder.Path() + NameCases()[i].name + ".copy");
      matches.Post();
    }
  }
  // A Sigs row per case, the name as FileName and, for the path's sake, in FilePath too.
  void AddSigs() {
    TTable sigs("SigsTable"), matches("MatchesTable");
    OpenTables(sigs, matches, Folder.Path());
    for (const TNameCase& c : NameCases()) {
      sigs.Append();
      sigs.SetFieldValue("FileName", c.name);
      sigs.SetFieldValue("FilePath", "/p/" + c.name + "/");
      sigs.SetFieldValue("Signature", "s");
      sigs.Post();
    }
  }
  TTestDir Folder;
};

TEST_F(ListingNamesTest, PairsLinesKeepEveryRowOnOneLine) {
  AddPairs();
  const std::vector<std::string> lines = Lines(Listing({"pairs", Folder.Path()}));
  ASSERT_EQ(lines.size(), NameCases().size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const TNameCase& c = NameCases()[i];
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SplitTabs(lines[i]), (std::vector<std::string>{std::to_string(i), Folder.Path() + c.escaped,
                                                             Folder.Path() + c.escaped + ".copy"}));
  }
}

TEST_F(ListingNamesTest, SigsLinesKeepEveryRowOnOneLine) {
  AddSigs();
  const std::vector<std::string> lines = Lines(Listing({"sigs", Folder.Path()}));
  ASSERT_EQ(lines.size(), NameCases().size());
  // Sigs lists in its index order; each line must be one case's row, each case listed once.
  std::vector<std::string> expected, listed;
  for (const TNameCase& c : NameCases()) expected.push_back(c.escaped + "|/p/" + c.escaped + "/|s");
  for (const std::string& line : lines) {
    const std::vector<std::string> fields = SplitTabs(line);
    ASSERT_EQ(fields.size(), 4u) << line;
    listed.push_back(fields[0] + "|" + fields[1] + "|" + fields[3]);
  }
  std::sort(expected.begin(), expected.end());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, expected);
}

TEST_F(ListingNamesTest, PairsJsonParsesAndGivesEveryNameBack) {
  AddPairs();
  // The parser refuses invalid UTF-8 and unescaped control characters.
  const nlohmann::json rows = nlohmann::json::parse(Listing({"pairs", "--json", Folder.Path()}));
  ASSERT_TRUE(rows.is_array());
  ASSERT_EQ(rows.size(), NameCases().size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TNameCase& c = NameCases()[i];
    SCOPED_TRACE(c.what);
    const nlohmann::json& row = rows[i];
    EXPECT_EQ(row.at("MaxDiff"), static_cast<int>(i));
    EXPECT_EQ(row.at("File1"), Folder.Path() + c.json);
    EXPECT_EQ(row.at("File2"), Folder.Path() + c.json + ".copy");
    EXPECT_EQ(row.size(), c.lossy ? 5u : 3u) << row.dump();
    if (c.lossy) {
      EXPECT_EQ(DecodeBase64(row.at("File1_base64")), Folder.Path() + c.name);
      EXPECT_EQ(DecodeBase64(row.at("File2_base64")), Folder.Path() + c.name + ".copy");
    }
  }
}

TEST_F(ListingNamesTest, PairsJsonOfNoPairsIsAnEmptyArray) {
  EXPECT_EQ(nlohmann::json::parse(Listing({"pairs", "--json", Folder.Path()})), nlohmann::json::array());
}

}  // namespace
}  // namespace velquin

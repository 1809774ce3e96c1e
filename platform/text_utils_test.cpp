#include "platform/text_utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace velquin {
namespace {

TEST(TextUtilsTest, IsBlank) {
  const struct {
    std::string_view Text;
    bool Blank;
  } cases[] = {
      {"", true},
      {" ", true},
      {" \r\n \r\n", true},
      {"\t", false},
      {"  x", false},
      {"\r\n\t", false},
      {std::string_view("\0", 1), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.Text)));
    EXPECT_EQ(IsBlank(c.Text), c.Blank);
  }
}

TEST(TextUtilsTest, PadLeft) {
  const struct {
    std::string_view Text;
    std::int32_t Width;
    std::string_view Padded;
  } cases[] = {
      {"7", 4, "   7"},
      {"12345", 4, "12345"},
      {"1234", 4, "1234"},
      {"", 3, "   "},
      {"ab", 0, "ab"},
      {"ab", -5, "ab"},
      {"ab", std::numeric_limits<std::int32_t>::min(), "ab"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.Text << "\" to " << c.Width);
    EXPECT_EQ(PadLeft(c.Text, c.Width), c.Padded);
  }
}

TEST(TextUtilsTest, IntToStrSep) {
  const struct {
    std::int64_t Value;
    std::string_view Text;
  } cases[] = {
      {0, "0"},
      {100, "100"},
      {999, "999"},
      {1000, "1,000"},
      {123456, "123,456"},
      {1234567, "1,234,567"},
      {1000000, "1,000,000"},
      {-123, "-123"},
      {-1234, "-1,234"},
      {-123456, "-123,456"},
      {std::numeric_limits<std::int64_t>::max(), "9,223,372,036,854,775,807"},
      {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Value);
    EXPECT_EQ(IntToStrSep(c.Value), c.Text);
  }
}

TEST(TextUtilsTest, CaseFoldingTouchesAsciiLettersOnly) {
  const struct {
    std::string_view A, B;
    bool Same, Less;
  } cases[] = {
      {"Sigs.DAT", "sigs.dat", true, false},
      {"a", "B", false, true},                // folded, 'a' < 'b' although 'a' > 'B'
      {"_", "a", false, true},                // '_' lies between the two cases: folding decides
      {"\xC3\x89", "\xC3\xA9", false, true},  // UTF-8 letters keep their bytes
      {"ab", "abc", false, true},
      {"", "", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.A) + " / " + std::string(c.B));
    EXPECT_EQ(SameTextIgnoringCase(c.A, c.B), c.Same);
    EXPECT_EQ(LessIgnoringCase(c.A, c.B), c.Less);
  }
  EXPECT_EQ(AsciiUpperCase("a.jpg\xC3\xA9z"), "A.JPG\xC3\xA9Z");
}

TEST(TextUtilsTest, PathSplitsAtItsLastSlash) {
  const struct {
    std::string_view Path, Folder, Name;
  } cases[] = {
      {"/p/q/a.jpg", "/p/q/", "a.jpg"}, {"a.jpg", "", "a.jpg"}, {"/p/", "/p/", ""},
      {"/a.jpg", "/", "a.jpg"},         {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    EXPECT_EQ(FolderOfPath(c.Path), c.Folder);
    EXPECT_EQ(NameOfPath(c.Path), c.Name);
  }
}

}  // namespace
}  // namespace velquin

#include "signature/convert.h"

#include <gtest/gtest.h>

#include <string>

namespace velquin {
namespace {

TEST(StrToIntTest, ParsesValidIntegers) {
  const struct {
    std::string text;
    std::int32_t expected;
  } cases[] = {
      {"0", 0},
      {"   7", 7},
      {" 255", 255},
      {"-5", -5},
      {"  -12", -12},
      {"+42", 42},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("text '" + c.text + "'");
    EXPECT_EQ(StrToInt(c.text), c.expected);
  }
}

TEST(StrToIntTest, RejectsAnythingButANumberWithTheTextInTheMessage) {
  const std::string cases[] = {"",
                               "    ",
                               "12  ",
                               "12 3",
                               "1a",
                               "0x10",
                               "--1",
                               "+",
                               "- 1",
                               "\t1",
                               "2147483648",
                               "-2147483649",
                               "99999999999999999999"};
  for (const std::string& text : cases) {
    SCOPED_TRACE("text '" + text + "'");
    try {
      StrToInt(text);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace velquin

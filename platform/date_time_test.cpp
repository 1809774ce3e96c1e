#include "platform/date_time.h"

#include <gtest/gtest.h>

namespace velquin {
namespace {

TEST(DateTimeTest, EncodeKnownDays) {
  const struct {
    TDateTimeFields Fields;
    double Value;
  } cases[] = {
      {{1899, 12, 30, 0, 0, 0, 0}, 0.0},    {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
      {{1970, 1, 1, 0, 0, 0, 0}, 25569.0},  {{2000, 1, 1, 12, 0, 0, 0}, 36526.5},
      {{2000, 3, 1, 6, 0, 0, 0}, 36586.25}, {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Value);
    EXPECT_EQ(EncodeDateTime(c.Fields), c.Value);
    const TDateTimeFields back = DecodeDateTime(c.Value);
    EXPECT_EQ(back.Year, c.Fields.Year);
    EXPECT_EQ(back.Month, c.Fields.Month);
    EXPECT_EQ(back.Day, c.Fields.Day);
    EXPECT_EQ(back.Hour, c.Fields.Hour);
  }
}

// Every millisecond-exact value of a range of dates decodes to the fields it was made from.
TEST(DateTimeTest, RoundTripsToTheMillisecond) {
  for (int year : {1980, 2000, 2024, 2107, 9999}) {
    for (int month = 1; month <= 12; ++month) {
      const int day = month == 2 ? 28 + (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) : 30;
      for (int ms : {0, 1, 499, 500, 998, 999}) {
        const TDateTimeFields fields{year, month, day, 23, 59, 59, ms};
        SCOPED_TRACE(testing::Message() << year << "-" << month << "-" << day << " ms " << ms);
        const TDateTimeFields back = DecodeDateTime(EncodeDateTime(fields));
        EXPECT_EQ(back.Year, year);
        EXPECT_EQ(back.Month, month);
        EXPECT_EQ(back.Day, day);
        EXPECT_EQ(back.Hour, 23);
        EXPECT_EQ(back.Minute, 59);
        EXPECT_EQ(back.Second, 59);
        EXPECT_EQ(back.MilliSecond, ms);
      }
    }
  }
}

TEST(DateTimeTest, TmConversionsAgree) {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 10;
  tm.tm_hour = 10;
  tm.tm_min = 15;
  tm.tm_sec = 30;
  const std::tm back = DateTimeToTm(TmToDateTime(tm));
  EXPECT_EQ(back.tm_year, tm.tm_year);
  EXPECT_EQ(back.tm_mon, tm.tm_mon);
  EXPECT_EQ(back.tm_mday, tm.tm_mday);
  EXPECT_EQ(back.tm_hour, 10);
  EXPECT_EQ(back.tm_min, 15);
  EXPECT_EQ(back.tm_sec, 30);
  EXPECT_EQ(back.tm_wday, 4);  // a Thursday
  EXPECT_EQ(back.tm_yday, 343);
}

}  // namespace
}  // namespace velquin

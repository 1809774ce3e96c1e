#include "platform/date_time.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/test_dir.h"

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

const double kSample = EncodeDateTime({2026, 12, 10, 10, 15, 30, 999});

double Hours(double hours) { return hours / 24.0; }

TEST(DateTimeTest, TextsInPosixLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  EXPECT_EQ(DateTimeToText(kSample), "12/10/26 10:15:30");
  EXPECT_EQ(ShortDateText(kSample), "12/10/26");
  EXPECT_EQ(LongTimeText(kSample), "10:15:30");
  EXPECT_EQ(TimeOfDayText(Hours(26.5)), "02:30:00");
  EXPECT_EQ(DateTimeToIso(kSample), "2026-12-10 10:15:30");
  EXPECT_EQ(DateTimeToIso(0), "1899-12-30 00:00:00");
}

TEST(DateTimeTest, ElapsedTextDropsDaysAndCutsMilliseconds) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const struct {
    double Days;
    const char* Text;
  } cases[] = {
      {0, "00:00:00"},
      {Hours(25), "01:00:00"},
      {(3600 + 120 + 3.999) / 86400.0, "01:02:03"},
      {0.999 / 86400.0, "00:00:00"},
      {Hours(23) + 59 / 1440.0 + 59.4 / 86400.0, "23:59:59"},
      {EncodeDateTime({2026, 12, 10, 10, 0, 5, 0}) - EncodeDateTime({2026, 12, 10, 9, 59, 58, 0}),
       "00:00:07"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(ElapsedText(c.Days), c.Text);
  }
}

TEST(DateTimeTest, FormatFixed2) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const struct {
    double Value;
    const char* Text;
  } cases[] = {{0, "0.00"}, {2.5, "2.50"}, {9.999, "10.00"}, {0.125, "0.12"}, {1234.567, "1234.57"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(FormatFixed2(c.Value), c.Text);
  }
}

TEST(DateTimeTest, NowIsLocalTimeWithMilliseconds) {
  // time() reads a coarse clock that can lag the real-time clock by a tick; take both bounds from the
  // clock Now() reads.
  timespec stamp{};
  clock_gettime(CLOCK_REALTIME, &stamp);
  const time_t before = stamp.tv_sec;
  const double now = Now();
  clock_gettime(CLOCK_REALTIME, &stamp);
  const time_t after = stamp.tv_sec;
  std::tm tm{};
  localtime_r(&before, &tm);
  EXPECT_GE(now, TmToDateTime(tm));
  localtime_r(&after, &tm);
  EXPECT_LT(now, TmToDateTime(tm) + 1.0 / 86400.0);
  EXPECT_EQ(EncodeDateTime(DecodeDateTime(now)), now) << "millisecond-exact";
}

// Other locales are compiled into a private folder, so the test does not depend on what the machine
// has installed; without localedef and the locale sources it is skipped.
class DateTimeLocaleTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    FDir = new TTestDir;
    const std::string command = "localedef -i fi_FI -f UTF-8 " + FDir->Path() +
                                "fi_FI.UTF-8 >/dev/null 2>&1 && " + "localedef -i en_US -f UTF-8 " +
                                FDir->Path() + "en_US.UTF-8 >/dev/null 2>&1";
    FAvailable = std::system(command.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    delete FDir;
    FDir = nullptr;
  }
  void SetUp() override {
    if (!FAvailable) GTEST_SKIP() << "cannot compile locales with localedef";
    setenv("LOCPATH", FDir->Path().c_str(), 1);
  }
  void TearDown() override {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
  }

  static TTestDir* FDir;
  static bool FAvailable;
};

TTestDir* DateTimeLocaleTest::FDir = nullptr;
bool DateTimeLocaleTest::FAvailable = false;

TEST_F(DateTimeLocaleTest, FinnishSeparators) {
  ASSERT_NE(std::setlocale(LC_ALL, "fi_FI.UTF-8"), nullptr);
  EXPECT_EQ(ShortDateText(kSample), "10.12.2026");
  EXPECT_EQ(LongTimeText(kSample), "10.15.30");
  EXPECT_EQ(DateTimeToText(kSample), "10.12.2026 10.15.30");
  EXPECT_EQ(ElapsedText(Hours(25) + 61 / 86400.0), "01.01.01");
  EXPECT_EQ(FormatFixed2(2.5), "2,50");
  EXPECT_EQ(DateTimeToIso(kSample), "2026-12-10 10:15:30");
}

TEST_F(DateTimeLocaleTest, TwelveHourClockKeepsColon) {
  ASSERT_NE(std::setlocale(LC_ALL, "en_US.UTF-8"), nullptr);
  EXPECT_EQ(LongTimeText(kSample), "10:15:30 AM");
  EXPECT_EQ(TimeOfDayText(Hours(13.5)), "01:30:00 PM");
  EXPECT_EQ(ElapsedText(Hours(13.5)), "13:30:00");
  EXPECT_EQ(FormatFixed2(2.5), "2.50");
}

}  // namespace
}  // namespace velquin

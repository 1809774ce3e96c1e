// Date-time values: days since 30 December 1899 as a double, the time of day as the fraction, in
// local time. A negative value counts its days back from that date and its fraction forward into the
// day (-1.25 is 29 December 1899, 06:00).
//
// Every conversion goes through whole milliseconds, so a value encoded from calendar fields decodes to
// the same fields again, and a value read from a file's date always renders to the same text.
#pragma once

#include <cstdint>
#include <ctime>

namespace velquin {

inline constexpr std::int64_t kMsPerDay = 86400000;

struct TDateTimeFields {
  std::int32_t Year = 1899;  // 1..9999
  std::int32_t Month = 12;   // 1..12
  std::int32_t Day = 30;     // 1..31
  std::int32_t Hour = 0;
  std::int32_t Minute = 0;
  std::int32_t Second = 0;
  std::int32_t MilliSecond = 0;
};

// REQUIRES: the fields name a real date and a time of day below 24:00.
double EncodeDateTime(const TDateTimeFields& fields);
// The fields of `value`, rounded to the nearest millisecond.
TDateTimeFields DecodeDateTime(double value);

// Calendar fields of struct tm (tm_year from 1900, tm_mon from 0); a leap second counts as second 59.
double TmToDateTime(const std::tm& tm);
// The value's date and time to the whole second (milliseconds cut), with tm_wday and tm_yday filled
// and tm_isdst unknown (-1), ready for strftime.
std::tm DateTimeToTm(double value);

}  // namespace velquin

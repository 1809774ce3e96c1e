// Date-time values: days since 30 December 1899 as a double, the time of day as the fraction, in
// local time. A negative value counts its days back from that date and its fraction forward into the
// day (-1.25 is 29 December 1899, 06:00).
//
// Texts follow the user's POSIX locale (LC_TIME, LC_NUMERIC) as the program has set it with setlocale.
//
// Every conversion goes through whole milliseconds, so a value encoded from calendar fields decodes to
// the same fields again, and a value read from a file's date always renders to the same text.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

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

// The local date and time now, to the millisecond.
double Now();

// The date and time to the second in the user's formats ("%x %X"): one fixed rule, so equal
// date-times to the second give equal texts.
std::string DateTimeToText(double value);
// The date in the user's short date format ("%x").
std::string ShortDateText(double value);
// The time of day in the user's long time format ("%X").
std::string LongTimeText(double value);
// A duration as "hh:mm:ss": hours 00..23 (whole days dropped), minutes and seconds, milliseconds cut,
// joined by the user's time separator (":" where the locale's time format shows none).
std::string ElapsedText(double days);
// A duration written as a time of day in the user's long time format (whole days dropped).
std::string TimeOfDayText(double days);
// The number in fixed notation with two decimals and the user's decimal separator, no grouping.
std::string FormatFixed2(double value);
// "YYYY-MM-DD HH:MM:SS", the same in every locale.
std::string DateTimeToIso(double value);

}  // namespace velquin

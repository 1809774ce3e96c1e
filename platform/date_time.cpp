#include "platform/date_time.h"

#include <langinfo.h>
#include <time.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace velquin {

namespace {

// Day number of 1 January 1970 counted from 30 December 1899.
constexpr std::int64_t kUnixEpochDay = 25569;

// Days since 1 January 1970 of a proleptic Gregorian date (era arithmetic, exact for any year).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int32_t& year, std::int32_t& month, std::int32_t& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<std::int32_t>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<std::int32_t>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<std::int32_t>(yoe + era * 400 + (month <= 2));
}

double FromDayAndMs(std::int64_t day, std::int64_t msOfDay) {
  const double fraction = static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

void ToDayAndMs(double value, std::int64_t& day, std::int64_t& msOfDay) {
  if (value >= 0) {
    const std::int64_t total = std::llround(value * static_cast<double>(kMsPerDay));
    day = total / kMsPerDay;
    msOfDay = total % kMsPerDay;
    return;
  }
  day = static_cast<std::int64_t>(std::trunc(value));
  msOfDay = std::llround(std::fabs(value - static_cast<double>(day)) * static_cast<double>(kMsPerDay));
  if (msOfDay >= kMsPerDay) {
    msOfDay -= kMsPerDay;
    ++day;
  }
}

std::string FormatTm(const char* format, const std::tm& tm) {
  char text[256];
  const std::size_t length = strftime(text, sizeof text, format, &tm);
  return std::string(text, length);
}

// The text between the hours and the minutes of the locale's time format.
std::string TimeSeparator() {
  std::string_view format = nl_langinfo(T_FMT);
  if (format == "%r") format = nl_langinfo(T_FMT_AMPM);
  if (format.find("%T") != std::string_view::npos || format.find("%R") != std::string_view::npos) return ":";
  for (std::size_t i = 0; i + 2 < format.size(); ++i) {
    if (format[i] != '%') continue;
    std::size_t hour = i + 1;
    while (hour < format.size() && (format[hour] == 'O' || format[hour] == 'E' || format[hour] == '-' ||
                                    format[hour] == '_' || format[hour] == '0')) {
      ++hour;
    }
    if (hour >= format.size() || std::string_view("HIkl").find(format[hour]) == std::string_view::npos)
      continue;
    const std::size_t next = format.find('%', hour + 1);
    if (next == std::string_view::npos || next == hour + 1) break;
    return std::string(format.substr(hour + 1, next - hour - 1));
  }
  return ":";
}

// The fields of a broken-down time; a leap second counts as second 59.
TDateTimeFields FieldsOfTm(const std::tm& tm) {
  TDateTimeFields fields;
  fields.Year = tm.tm_year + 1900;
  fields.Month = tm.tm_mon + 1;
  fields.Day = tm.tm_mday;
  fields.Hour = tm.tm_hour;
  fields.Minute = tm.tm_min;
  fields.Second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  return fields;
}

}  // namespace

double EncodeDateTime(const TDateTimeFields& fields) {
  const std::int64_t day = DaysFromCivil(fields.Year, fields.Month, fields.Day) + kUnixEpochDay;
  const std::int64_t ms =
      ((static_cast<std::int64_t>(fields.Hour) * 60 + fields.Minute) * 60 + fields.Second) * 1000 +
      fields.MilliSecond;
  return FromDayAndMs(day, ms);
}

TDateTimeFields DecodeDateTime(double value) {
  std::int64_t day = 0;
  std::int64_t ms = 0;
  ToDayAndMs(value, day, ms);
  TDateTimeFields fields;
  CivilFromDays(day - kUnixEpochDay, fields.Year, fields.Month, fields.Day);
  fields.MilliSecond = static_cast<std::int32_t>(ms % 1000);
  const std::int64_t seconds = ms / 1000;
  fields.Second = static_cast<std::int32_t>(seconds % 60);
  fields.Minute = static_cast<std::int32_t>(seconds / 60 % 60);
  fields.Hour = static_cast<std::int32_t>(seconds / 3600);
  return fields;
}

double TmToDateTime(const std::tm& tm) { return EncodeDateTime(FieldsOfTm(tm)); }

std::tm DateTimeToTm(double value) {
  const TDateTimeFields fields = DecodeDateTime(value);
  std::tm tm{};
  tm.tm_year = fields.Year - 1900;
  tm.tm_mon = fields.Month - 1;
  tm.tm_mday = fields.Day;
  tm.tm_hour = fields.Hour;
  tm.tm_min = fields.Minute;
  tm.tm_sec = fields.Second;
  const std::int64_t unixDay = DaysFromCivil(fields.Year, fields.Month, fields.Day);
  tm.tm_wday = static_cast<int>(((unixDay % 7) + 7 + 4) % 7);  // 1 January 1970 was a Thursday
  tm.tm_yday = static_cast<int>(unixDay - DaysFromCivil(fields.Year, 1, 1));
  tm.tm_isdst = -1;
  return tm;
}

double Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm tm{};
  localtime_r(&now.tv_sec, &tm);
  TDateTimeFields fields = FieldsOfTm(tm);
  fields.MilliSecond = static_cast<std::int32_t>(now.tv_nsec / 1000000);
  return EncodeDateTime(fields);
}

std::string DateTimeToText(double value) { return FormatTm("%x %X", DateTimeToTm(value)); }

std::string ShortDateText(double value) { return FormatTm("%x", DateTimeToTm(value)); }

std::string LongTimeText(double value) { return FormatTm("%X", DateTimeToTm(value)); }

std::string ElapsedText(double days) {
  const TDateTimeFields fields = DecodeDateTime(days);
  const std::string separator = TimeSeparator();
  char text[3][8];
  std::snprintf(text[0], sizeof text[0], "%02d", static_cast<int>(fields.Hour));
  std::snprintf(text[1], sizeof text[1], "%02d", static_cast<int>(fields.Minute));
  std::snprintf(text[2], sizeof text[2], "%02d", static_cast<int>(fields.Second));
  return std::string(text[0]) + separator + text[1] + separator + text[2];
}

std::string TimeOfDayText(double days) { return LongTimeText(days); }

std::string FormatFixed2(double value) {
  // to_chars ignores the C locale, so the separator is put in by hand.
  char text[400];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  std::string result(text, error == std::errc() ? end : text);
  const std::string_view radix = nl_langinfo(RADIXCHAR);
  const std::size_t dot = result.find('.');
  if (dot != std::string::npos && !radix.empty()) result.replace(dot, 1, radix);
  return result;
}

std::string DateTimeToIso(double value) {
  const TDateTimeFields f = DecodeDateTime(value);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(f.Year),
                static_cast<int>(f.Month), static_cast<int>(f.Day), static_cast<int>(f.Hour),
                static_cast<int>(f.Minute), static_cast<int>(f.Second));
  return text;
}

}  // namespace velquin

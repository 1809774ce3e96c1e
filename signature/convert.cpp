#include "signature/convert.h"

#include <string>

namespace velquin {

std::int32_t StrToInt(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // The magnitude is bounded by 2^31 while parsing, so it never overflows.
  const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
  std::int64_t magnitude = 0;
  const std::size_t firstDigit = pos;
  bool valid = true;
  for (; pos < text.size() && valid; ++pos) {
    const char c = text[pos];
    if (c < '0' || c > '9') {
      valid = false;
    } else {
      magnitude = magnitude * 10 + (c - '0');
      valid = magnitude <= limit;
    }
  }
  if (!valid || pos == firstDigit)
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace velquin

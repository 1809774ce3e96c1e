// Text-to-number conversion with the program's own error text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace velquin {

// A text that should hold a number does not ("'12  ' is not a valid integer value").
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses a signed 32-bit decimal integer: leading blanks are skipped, then an optional '+' or '-' and at
// least one digit; anything else (trailing blanks included) or a value out of range throws
// EConvertError("'<text>' is not a valid integer value") with the text as given.
std::int32_t StrToInt(std::string_view text);

}  // namespace velquin

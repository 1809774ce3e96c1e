// Small text helpers shared by the window, the scan and the matching code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velquin {

// Returns true iff every character is a blank, CR or LF (an empty text is blank; a tab is not).
bool IsBlank(std::string_view text);

// Prepends blanks until the text is `width` characters long; never cuts a longer text.
std::string PadLeft(std::string_view text, std::int32_t width);

// Decimal digits grouped in threes with ",": 1234567 -> "1,234,567", -1234 -> "-1,234".
std::string IntToStrSep(std::int64_t value);

}  // namespace velquin

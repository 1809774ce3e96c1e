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

// ASCII case folding: file names and extensions compare without regard to the case of A..Z only,
// so bytes of UTF-8 names never change their meaning.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string AsciiUpperCase(std::string_view text);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);
// Byte order after ASCII case folding.
bool LessIgnoringCase(std::string_view a, std::string_view b);

// A full name split at its last '/': the folder with that '/' ("" when there is none), and the
// name after it (the whole text when there is no '/').
std::string_view FolderOfPath(std::string_view path);
std::string_view NameOfPath(std::string_view path);

}  // namespace velquin

// TIniFile: a settings file in INI layout, read and written key by key.
//
// Layout: a section line "[Name]", then "Key=Value" lines up to the next section line. Lines end in
// CR LF when written; CR LF, LF or CR are accepted when read.
// Reading:
//  - Section and key names are matched without regard to ASCII letter case; the first matching
//    section and, within it, the first matching key count. Blanks and tabs around names are ignored.
//  - Lines before the first section, lines without "=", and lines starting with ";" are ignored.
//  - A value loses the blanks and tabs around it and then one pair of enclosing quotes ("..." or
//    '...'); it is cut to 2047 characters.
// Writing (each write rewrites the whole file at once, through a temporary file and a rename):
//  - A key present in its section is replaced in place; a new key goes after the last non-empty line
//    of its section; a new section goes at the end of the file. Everything else stays as it was.
//  - A value that reading would change (blanks around it, or enclosing quotes of its own) is written
//    inside double quotes, so it reads back as written. CR and LF inside a value are written as blanks,
//    since they would end the line.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors.h"

namespace velquin {

class TIniFile {
 public:
  explicit TIniFile(const std::string& path) : FPath(path) {}

  const std::string& FileName() const { return FPath; }

  // The key's value, or `defaultValue` when the file, the section or the key is missing.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // The key's value as a whole number in decimal, or in hexadecimal after "0x", "0X" or "$" (a sign
  // may come first). Gives `defaultValue` when the key is missing or its value is not a whole number
  // that fits 32 bits.
  std::int32_t ReadInteger(const std::string& section, const std::string& key,
                           std::int32_t defaultValue) const;

  // Both raise EIniFileError "Unable to write to <file>" when the file cannot be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);

 private:
  std::string FPath;
};

// Returns true iff the key holds exactly "Yes" (letter case counts); a missing key reads as "Yes" when
// `defaultValue` is true, else as "No".
bool ReadYesNo(const TIniFile& ini, const std::string& section, const std::string& key, bool defaultValue);
// Writes "Yes" for true, "No" for false.
void WriteYesNo(TIniFile& ini, const std::string& section, const std::string& key, bool value);

}  // namespace velquin

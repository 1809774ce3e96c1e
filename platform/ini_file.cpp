#include "platform/ini_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/text_file.h"
#include "platform/text_utils.h"

namespace velquin {

namespace {

constexpr std::size_t kMaxValueLength = 2047;

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The file's lines without their line ends (none for a missing file); nothing when the file exists
// but cannot be read, so that a write never replaces what it could not see.
std::optional<std::vector<std::string>> LoadLines(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 && errno == ENOENT) return std::vector<std::string>();
  try {
    return ReadLines(path);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

// The section name of a section line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  return Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// True iff `line` is a key line of `key`; `value` then holds the raw text after "=".
bool IsKeyLine(std::string_view line, const std::string& key, std::string_view& value) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || !SameTextIgnoringCase(Trim(line.substr(0, equals)), key))
    return false;
  value = line.substr(equals + 1);
  return true;
}

// Where a section's lines are: [Begin, End) after its section line; Found false when it is missing.
struct TSectionRange {
  bool Found = false;
  std::size_t Begin = 0;
  std::size_t End = 0;
};

TSectionRange FindSection(const std::vector<std::string>& lines, const std::string& section) {
  TSectionRange range;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::optional<std::string_view> name = SectionName(lines[i]);
    if (!name) continue;
    if (range.Found) {
      range.End = i;
      return range;
    }
    if (SameTextIgnoringCase(*name, section)) {
      range.Found = true;
      range.Begin = i + 1;
    }
  }
  range.End = lines.size();
  return range;
}

bool IsQuoted(std::string_view value) {
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

std::string Unquote(std::string_view value) {
  value = Trim(value);
  if (IsQuoted(value)) value = value.substr(1, value.size() - 2);
  return std::string(value.substr(0, kMaxValueLength));
}

std::string Quote(const std::string& value) {
  std::string text = value;
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return Trim(text) != text || IsQuoted(text) ? '"' + text + '"' : text;
}

std::optional<std::int64_t> ParseDigits(std::string_view digits, int base) {
  std::int64_t value = 0;
  // from_chars would take a minus sign of its own.
  if (digits.empty() || digits.front() == '-') return std::nullopt;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::optional<std::int64_t> magnitude;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    magnitude = ParseDigits(text.substr(2), 16);
  } else if (!text.empty() && text.front() == '$') {
    magnitude = ParseDigits(text.substr(1), 16);
  } else {
    magnitude = ParseDigits(text, 10);
  }
  if (!magnitude) return std::nullopt;
  const std::int64_t value = negative ? -*magnitude : *magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  const std::vector<std::string> lines = LoadLines(FPath).value_or(std::vector<std::string>());
  const TSectionRange range = FindSection(lines, section);
  if (!range.Found) return defaultValue;
  for (std::size_t i = range.Begin; i < range.End; ++i) {
    std::string_view value;
    if (IsKeyLine(lines[i], key, value)) return Unquote(value);
  }
  return defaultValue;
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue) const {
  return ParseInteger(ReadString(section, key, "")).value_or(defaultValue);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  std::optional<std::vector<std::string>> loaded = LoadLines(FPath);
  if (!loaded) throw EIniFileError("Unable to write to " + FPath);
  std::vector<std::string>& lines = *loaded;
  const std::string keyLine = key + "=" + Quote(value);
  const TSectionRange range = FindSection(lines, section);
  if (!range.Found) {
    lines.push_back("[" + section + "]");
    lines.push_back(keyLine);
  } else {
    bool replaced = false;
    for (std::size_t i = range.Begin; i < range.End && !replaced; ++i) {
      std::string_view old;
      if (IsKeyLine(lines[i], key, old)) {
        lines[i] = keyLine;
        replaced = true;
      }
    }
    if (!replaced) {
      std::size_t at = range.End;
      while (at > range.Begin && Trim(lines[at - 1]).empty()) --at;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), keyLine);
    }
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";

  // A new file beside the old one replaces it only once complete, so a failed write loses nothing.
  std::string temporary = FPath + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  bool written = fd >= 0;
  if (written) {
    struct stat st {};
    fchmod(fd, stat(FPath.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644);
    std::size_t done = 0;
    while (written && done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      written = n > 0;
      if (written) done += static_cast<std::size_t>(n);
    }
    written = close(fd) == 0 && written && rename(temporary.c_str(), FPath.c_str()) == 0;
    if (!written) unlink(temporary.c_str());
  }
  if (!written) throw EIniFileError("Unable to write to " + FPath);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

bool ReadYesNo(const TIniFile& ini, const std::string& section, const std::string& key, bool defaultValue) {
  return ini.ReadString(section, key, defaultValue ? "Yes" : "No") == "Yes";
}

void WriteYesNo(TIniFile& ini, const std::string& section, const std::string& key, bool value) {
  ini.WriteString(section, key, value ? "Yes" : "No");
}

}  // namespace velquin

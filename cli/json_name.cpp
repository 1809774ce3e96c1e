#include "cli/json_name.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velquin {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the valid UTF-8 sequence starting at `at`, or 0 when the byte there starts none.
// Overlong forms, surrogates and code points above U+10FFFF are not valid (RFC 3629).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

void AppendJsonEscaped(std::string& out, char c) {
  const auto u = static_cast<unsigned char>(c);
  if (c == '"' || c == '\\') {
    out += '\\';
    out += c;
  } else if (u < 0x20) {
    static const char* const kHex = "0123456789abcdef";
    out += "\\u00";
    out += kHex[u >> 4];
    out += kHex[u & 15];
  } else {
    out += c;
  }
}

std::string Base64(std::string_view bytes) {
  static const char* const kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 3; ++j)
      group = group << 8 | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    for (std::size_t j = 0; j < 4; ++j) out += j <= count ? kAlphabet[(group >> (18 - 6 * j)) & 63] : '=';
  }
  return out;
}

}  // namespace

void WriteJsonName(std::ostream& out, std::string_view key, std::string_view name) {
  std::string text = "\"";
  bool valid = true;
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t length = Utf8SequenceLength(name, at);
    if (length == 0) {
      valid = false;
      text += kReplacement;
      ++at;
    } else {
      for (std::size_t i = 0; i < length; ++i) AppendJsonEscaped(text, name[at + i]);
      at += length;
    }
  }
  text += '"';
  out << '"' << key << "\": " << text;
  if (!valid) out << ", \"" << key << "_base64\": \"" << Base64(name) << '"';
}

}  // namespace velquin

#include "matching/written_form.h"

#include <cstdio>
#include <cstring>

namespace velquin {
namespace {

constexpr int kFieldWidth = 4;

// A field's value is read from its last three characters, each as the low four bits of its code
// (a blank and '0' both give 0), so an index is at most 15 * 100 + 15 * 10 + 15.
constexpr unsigned kMaxDigit = 15;
constexpr unsigned kIndexes = kMaxDigit * 111 + 1;

// The 4 bytes of each value's written field, read as one word, by index; indexes above 255 have no
// written form (0, which no field of 4 characters equals).
class TWrittenFields {
 public:
  TWrittenFields() : words_{} {
    for (unsigned v = 0; v < 256; ++v) {
      char field[kFieldWidth + 1];
      std::snprintf(field, sizeof field, "%4u", v);
      std::memcpy(&words_[v], field, kFieldWidth);
    }
  }
  std::uint32_t operator[](unsigned index) const { return words_[index]; }

 private:
  std::uint32_t words_[kIndexes];
};
const TWrittenFields kWrittenFields;

}  // namespace

bool ReadWrittenForm(std::string_view text, std::uint8_t* values) {
  if (text.size() != kSignatureValues * kFieldWidth) return false;
  // The field is in the written form exactly when it equals the written field of the value its last
  // three characters give: one comparison per field, with no branch on the characters.
  std::uint32_t mismatch = 0;
  const auto digit = [](char c) { return (static_cast<unsigned char>(c) - unsigned{'0'}) & kMaxDigit; };
  for (int i = 0; i < kSignatureValues; ++i) {
    const char* field = text.data() + kFieldWidth * i;
    const unsigned v = digit(field[1]) * 100 + digit(field[2]) * 10 + digit(field[3]);
    std::uint32_t word;
    std::memcpy(&word, field, kFieldWidth);
    mismatch |= word ^ kWrittenFields[v];
    values[i] = static_cast<std::uint8_t>(v);
  }
  return mismatch == 0;
}

TSignature SignatureOfValues(const std::uint8_t* values) {
  TSignature signature;
  for (TRgb& cell : signature.Cells) {
    cell = {values[0], values[1], values[2]};
    values += 3;
  }
  return signature;
}

}  // namespace velquin

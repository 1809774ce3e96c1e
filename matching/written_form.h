// The written form of a signature text, as SignatureToText writes values 0..255: 48 fields of 4
// characters, each the value right-aligned with blanks. A text in this form is held as its 48 values
// only: for such texts, text order is the order of the values (a blank orders below every digit and
// every field has the same width), so values can stand in for texts wherever texts are ordered.
#pragma once

#include <cstdint>
#include <string_view>

#include "signature/signature.h"

namespace velquin {

inline constexpr int kSignatureValues = 48;

// Returns true iff text is in the written form, putting its 48 values in values (which then also
// holds bytes of a text in any other form: use it only on true).
bool ReadWrittenForm(std::string_view text, std::uint8_t* values);

// The signature of 48 values, Cell by Cell, R, G, B within a Cell.
TSignature SignatureOfValues(const std::uint8_t* values);

}  // namespace velquin

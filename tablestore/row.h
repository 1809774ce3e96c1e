// TRow: one row of a table as the engine moves it between its layers.
#pragma once

#include <cstdint>
#include <vector>

#include "tablestore/schema.h"

namespace velquin::store {

struct TRow {
  std::uint32_t Rid = 0;  // record id; 0 for a row not yet stored
  // One value per field, normalised to the field's type (text up to its first NUL, non-empty;
  // integer; date-time rounded to the millisecond) or null.
  std::vector<TFieldValue> Values;
};

}  // namespace velquin::store

// The definitions a table is made of, the field and index types the table object takes and each
// table file records, and the in-memory value of a field.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace velquin {

enum class TFieldType { ftString, ftInteger, ftDateTime };

struct TFieldDef {
  std::string Name;
  TFieldType DataType = TFieldType::ftString;
  int Size = 0;  // bytes, ftString only (1..4096)
  bool Required = false;
};

enum TIndexOption : std::uint8_t {
  ixPrimary = 1,
  ixUnique = 2,
  ixDescending = 4,
  ixCaseInsensitive = 8,
};
using TIndexOptions = std::uint8_t;

struct TIndexDef {
  std::string Name;    // empty for the primary index
  std::string Fields;  // field names joined by ";"
  TIndexOptions Options = 0;
};

// A field value: null, text (ftString), integer (ftInteger) or date-time (ftDateTime: days since
// 30 December 1899, the time of day as the fraction).
using TFieldValue = std::variant<std::monostate, std::string, std::int32_t, double>;

}  // namespace velquin

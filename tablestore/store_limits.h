// The limits of a table's definition: the definition check enforces them and both file layouts
// are sized by them.
#pragma once

#include <cstddef>

namespace velquin::store {

inline constexpr std::size_t kMaxFields = 1024;
inline constexpr std::size_t kMaxIndexes = 31;  // the primary index and up to 30 others
inline constexpr std::size_t kMaxIndexFields = 16;
inline constexpr std::size_t kMaxTextSize = 4096;  // the largest Size of a text field

}  // namespace velquin::store

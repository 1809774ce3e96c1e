// The text listings of velquin-cli are one row per line with TAB between fields, so a name holding
// a TAB or a line break would split its row. Such characters are written as C-style escapes.
#pragma once

#include <string>
#include <string_view>

namespace velquin {

// `text` with backslash, TAB, CR and LF written as \\, \t, \r, \n; every other byte as it is.
std::string EscapeListingText(std::string_view text);

}  // namespace velquin

// The picture test of the scan and the count label, by file name alone.
#pragma once

#include <string_view>

namespace velquin {

// Returns true iff the name's extension (from its last '.' on), upper-cased, is ".JPG", ".BMP" or ".GIF".
bool IsPictureName(std::string_view name);

}  // namespace velquin

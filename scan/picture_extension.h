// The picture test of the scan and the count label, by file name alone.
#pragma once

#include <string_view>

#include "imaging/picture_loader.h"

namespace velquin {

// Returns true iff the name's extension (from its last '.' on), upper-cased, is one of `formats`
// (".JPG", ".BMP" or ".GIF" for the classic ones).
bool IsPictureName(std::string_view name, TPictureFormats formats = TPictureFormats::kClassic);

}  // namespace velquin

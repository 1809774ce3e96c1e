#include "scan/picture_extension.h"

#include <string>

#include "platform/text_utils.h"

namespace velquin {

bool IsPictureName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.size() - dot != 4) return false;
  const std::string extension = AsciiUpperCase(name.substr(dot));
  return extension == ".JPG" || extension == ".BMP" || extension == ".GIF";
}

}  // namespace velquin

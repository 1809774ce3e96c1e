#include "signature/picture_extension.h"

#include <string>

namespace velquin {

bool IsPictureName(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.size() - dot != 4) return false;
  std::string extension(name.substr(dot));
  for (char& c : extension) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return extension == ".JPG" || extension == ".BMP" || extension == ".GIF";
}

}  // namespace velquin

#include "scan/picture_extension.h"

#include <string>

#include "platform/text_utils.h"

namespace velquin {

bool IsPictureName(std::string_view name, TPictureFormats formats) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || name.size() - dot > 5) return false;
  return IsPictureExtension(AsciiUpperCase(name.substr(dot)), formats);
}

}  // namespace velquin

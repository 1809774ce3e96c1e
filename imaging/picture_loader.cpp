#include "imaging/picture_loader.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "imaging/available_memory.h"
#include "imaging/bitmap.h"
#include "imaging/errors.h"
#include "imaging/exif_orientation.h"
#include "imaging/gif_image.h"
#include "imaging/heif_image.h"
#include "imaging/jpeg_image.h"
#include "imaging/png_image.h"
#include "imaging/tiff_image.h"
#include "imaging/webp_image.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"

namespace velquin {
namespace {

enum class TPictureType { kNone, kJpeg, kGif, kBmp, kPng, kWebP, kTiff, kHeif };

struct TExtension {
  std::string_view Text;
  TPictureType Type;
  TPictureFormats Formats;  // the narrowest set that holds it
};

// Tested in this order; the classic three first, in the order they have always been tested.
constexpr TExtension kExtensions[] = {
    {".JPG", TPictureType::kJpeg, TPictureFormats::kClassic},
    {".GIF", TPictureType::kGif, TPictureFormats::kClassic},
    {".BMP", TPictureType::kBmp, TPictureFormats::kClassic},
    {".JPEG", TPictureType::kJpeg, TPictureFormats::kAll},
    {".JPE", TPictureType::kJpeg, TPictureFormats::kAll},
    {".PNG", TPictureType::kPng, TPictureFormats::kAll},
    {".WEBP", TPictureType::kWebP, TPictureFormats::kAll},
    {".TIF", TPictureType::kTiff, TPictureFormats::kAll},
    {".TIFF", TPictureType::kTiff, TPictureFormats::kAll},
    {".HEIC", TPictureType::kHeif, TPictureFormats::kAll},
    {".HEIF", TPictureType::kHeif, TPictureFormats::kAll},
};

bool Includes(TPictureFormats formats, TPictureFormats extensionFormats) {
  return formats == TPictureFormats::kAll || extensionFormats == TPictureFormats::kClassic;
}

// A type passes when the first occurrence of its extension in the upper-cased file name ends the name,
// so HOLIDAY.JPG.JPG passes none. Folders are not looked at.
TPictureType TypeOfName(const std::string& fileName, TPictureFormats formats) {
  const std::string name = AsciiUpperCase(NameOfPath(fileName));
  for (const TExtension& extension : kExtensions) {
    if (!Includes(formats, extension.Formats) || name.size() < extension.Text.size()) continue;
    if (name.find(extension.Text) == name.size() - extension.Text.size()) return extension.Type;
  }
  return TPictureType::kNone;
}

template <class TDecoder>
std::unique_ptr<TDecoder> Load(const std::string& fileName, TFileStamp* opened) {
  auto decoder = std::make_unique<TDecoder>();
  decoder->LoadFromFile(fileName, opened);
  return decoder;
}

template <class TDecoder>
std::unique_ptr<TDecoder> LoadEncoded(const std::string& fileName, TFileStamp* opened,
                                      std::uint64_t& decoderMemory) {
  auto decoder = Load<TDecoder>(fileName, opened);
  decoderMemory = decoder->DecoderMemory();
  return decoder;
}

// With overcommitted memory the allocator does not refuse a bitmap larger than the machine can
// hold; touching it would end the process. Such a picture is refused before anything is allocated.
void CheckFitsInMemory(const TGraphic& picture, std::uint64_t decoderMemory, const TMemoryGate& memoryGate) {
  const std::uint64_t bytes = static_cast<std::uint64_t>(std::max(picture.Width(), 0)) *
                              static_cast<std::uint64_t>(std::max(picture.Height(), 0)) * sizeof(TColor32);
  const bool fits =
      memoryGate ? memoryGate(bytes + decoderMemory) : bytes + decoderMemory <= AvailableMemory();
  if (!fits)
    throw EOutOfResources("Not enough memory for a picture of " + std::to_string(picture.Width()) + " x " +
                          std::to_string(picture.Height()) + " pixels");
}

}  // namespace

bool IsPictureExtension(std::string_view extension, TPictureFormats formats) {
  for (const TExtension& known : kExtensions)
    if (known.Text == extension) return Includes(formats, known.Formats);
  return false;
}

std::string_view PictureFormatName(const std::string& fileName) {
  switch (TypeOfName(fileName, TPictureFormats::kAll)) {
    case TPictureType::kJpeg:
      return "JPEG";
    case TPictureType::kGif:
      return "GIF";
    case TPictureType::kBmp:
      return "BMP";
    case TPictureType::kPng:
      return "PNG";
    case TPictureType::kWebP:
      return "WebP";
    case TPictureType::kTiff:
      return "TIFF";
    case TPictureType::kHeif:
      return "HEIF";
    case TPictureType::kNone:
      break;
  }
  return {};
}

bool IsPictureFile(const std::string& fileName, TPictureFormats formats) {
  return FileExists(fileName) && TypeOfName(fileName, formats) != TPictureType::kNone;
}

bool LoadPicture(const std::string& fileName, TBitmap32& bitmap, TFileStamp* opened,
                 const TMemoryGate& memoryGate, TPictureFormats formats) {
  bitmap.SetHeight(0);
  bitmap.SetWidth(0);
  if (!IsPictureFile(fileName, formats)) return false;
  DecodePicture(fileName, bitmap, opened, memoryGate);
  return true;
}

void DecodePicture(const std::string& fileName, TBitmap32& bitmap, TFileStamp* opened,
                   const TMemoryGate& memoryGate) {
  try {
    std::unique_ptr<TGraphic> picture;
    std::uint64_t decoderMemory = 0;
    switch (TypeOfName(fileName, TPictureFormats::kAll)) {
      case TPictureType::kJpeg: {
        auto jpeg = Load<TJPEGImage>(fileName, opened);
        decoderMemory = jpeg->CoefficientMemory();
        picture = std::move(jpeg);
        break;
      }
      case TPictureType::kGif:
        picture = Load<TGIFImage>(fileName, opened);
        break;
      case TPictureType::kBmp:
        picture = Load<TBitmap>(fileName, opened);
        break;
      case TPictureType::kPng:
        picture = LoadEncoded<TPngImage>(fileName, opened, decoderMemory);
        break;
      case TPictureType::kWebP:
        picture = LoadEncoded<TWebPImage>(fileName, opened, decoderMemory);
        break;
      case TPictureType::kTiff:
        picture = LoadEncoded<TTiffImage>(fileName, opened, decoderMemory);
        break;
      case TPictureType::kHeif:
        picture = LoadEncoded<THeifImage>(fileName, opened, decoderMemory);
        break;
      case TPictureType::kNone:
        return;
    }
    CheckFitsInMemory(*picture, decoderMemory, memoryGate);
    bitmap.AssignPicture(*picture);
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("Not enough memory to load \"" + fileName + "\"");
  }
}

void DecodeForDisplay(const std::string& fileName, TBitmap32& bitmap) {
  DecodePicture(fileName, bitmap);
  OrientForDisplay(bitmap, ReadExifOrientation(fileName));
}

}  // namespace velquin

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
#include "imaging/gif_image.h"
#include "imaging/jpeg_image.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"

namespace velquin {
namespace {

enum class TPictureType { kNone, kJpeg, kGif, kBmp };

// A type passes when the first occurrence of its extension in the upper-cased file name starts
// exactly four characters from its end, so HOLIDAY.JPG.JPG passes none. Folders are not looked at.
TPictureType TypeOfName(const std::string& fileName) {
  const std::string name = AsciiUpperCase(NameOfPath(fileName));
  if (name.size() < 4) return TPictureType::kNone;
  const std::size_t extensionAt = name.size() - 4;
  if (name.find(".JPG") == extensionAt) return TPictureType::kJpeg;
  if (name.find(".GIF") == extensionAt) return TPictureType::kGif;
  if (name.find(".BMP") == extensionAt) return TPictureType::kBmp;
  return TPictureType::kNone;
}

template <class TDecoder>
std::unique_ptr<TDecoder> Load(const std::string& fileName, TFileStamp* opened) {
  auto decoder = std::make_unique<TDecoder>();
  decoder->LoadFromFile(fileName, opened);
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

bool IsPictureFile(const std::string& fileName) {
  return FileExists(fileName) && TypeOfName(fileName) != TPictureType::kNone;
}

bool LoadPicture(const std::string& fileName, TBitmap32& bitmap, TFileStamp* opened,
                 const TMemoryGate& memoryGate) {
  bitmap.SetHeight(0);
  bitmap.SetWidth(0);
  if (!IsPictureFile(fileName)) return false;
  DecodePicture(fileName, bitmap, opened, memoryGate);
  return true;
}

void DecodePicture(const std::string& fileName, TBitmap32& bitmap, TFileStamp* opened,
                   const TMemoryGate& memoryGate) {
  try {
    std::unique_ptr<TGraphic> picture;
    std::uint64_t decoderMemory = 0;
    switch (TypeOfName(fileName)) {
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
      case TPictureType::kNone:
        return;
    }
    CheckFitsInMemory(*picture, decoderMemory, memoryGate);
    bitmap.AssignPicture(*picture);
  } catch (const std::bad_alloc&) {
    throw EOutOfResources("Not enough memory to load \"" + fileName + "\"");
  }
}

}  // namespace velquin

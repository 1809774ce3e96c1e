// LoadPicture: the one way a picture file becomes pixels in a working bitmap. Loading only decodes:
// whoever loads decides about progress, cursors and letting messages run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "imaging/bitmap32.h"
#include "platform/file_utils.h"

namespace velquin {

// Which files are pictures: .JPG, .GIF and .BMP ones, or those of every format LoadPicture decodes,
// which adds .JPEG, .JPE, .PNG, .WEBP, .TIF, .TIFF, .HEIC and .HEIF.
enum class TPictureFormats { kClassic, kAll };

// True iff `extension` (from a name's last '.' on, upper-cased, dot included) is one of `formats`.
bool IsPictureExtension(std::string_view extension, TPictureFormats formats);

// True iff fileName names an existing file with an extension of `formats` (compared without regard
// to case, and only when its first occurrence in the file's own name ends that name): the files
// LoadPicture decodes.
bool IsPictureFile(const std::string& fileName, TPictureFormats formats = TPictureFormats::kClassic);

// The format LoadPicture decodes fileName as, by its name: "JPEG", "GIF", "BMP", "PNG", "WebP", "TIFF"
// or "HEIF"; empty for a name no decoder takes.
std::string_view PictureFormatName(const std::string& fileName);

// Asked once a picture's size is known, before anything is allocated for it, with the bytes its
// pixels and its decoder's working memory will take: false refuses the picture. An empty gate
// compares them with what AvailableMemory reports.
using TMemoryGate = std::function<bool(std::uint64_t bytes)>;

// Empties the bitmap, then, when IsPictureFile(fileName, formats), decodes the file into the bitmap at full
// size. Returns true iff a picture was decoded.
//
// `opened`, when given, receives the stamp of the file as it was opened for decoding. A picture the
// memory gate refuses is refused before anything is allocated for it.
//
// Throws EDecoderError or EOutOfResources with the text to show the user when the file cannot be
// opened, read, decoded or held in memory; the bitmap is then empty, or at the picture's size with
// its pixels 0 when decoding failed after the size was known.
bool LoadPicture(const std::string& fileName, TBitmap32& bitmap, TFileStamp* opened = nullptr,
                 const TMemoryGate& memoryGate = {}, TPictureFormats formats = TPictureFormats::kClassic);

// LoadPicture's decoding alone, for callers that have emptied the bitmap and asked IsPictureFile
// themselves (and do something between the two). REQUIRES: IsPictureFile(fileName, formats) was true
// for some formats; a file
// gone since then fails to open.
void DecodePicture(const std::string& fileName, TBitmap32& bitmap, TFileStamp* opened = nullptr,
                   const TMemoryGate& memoryGate = {});

// DecodePicture for showing: the picture then turned as the camera meant it to be seen (the file's EXIF
// orientation). Only what is shown is turned; the scan condenses the pixels as they are stored.
void DecodeForDisplay(const std::string& fileName, TBitmap32& bitmap);

}  // namespace velquin

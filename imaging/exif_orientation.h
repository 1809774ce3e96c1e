// EXIF orientation: the way a camera says its picture is to be turned for display, and the turning.
// It only changes what is shown: the scan decodes and condenses the pixels as they are stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velquin {

class TBitmap32;

// The EXIF orientation values: where the stored picture's first row and first column belong.
inline constexpr int kOrientationNormal = 1;
inline constexpr int kOrientationCount = 8;

// The orientation (1..8) a JPEG's EXIF block (APP1 "Exif") gives its picture; 1 when the bytes are
// not a JPEG, hold no EXIF block before the first scan, or the block holds no valid orientation.
// Reads no byte outside [data, data + size).
int ExifOrientation(const std::uint8_t* data, std::size_t size);

// ExifOrientation of the head of a file (at most kExifHeadBytes bytes, which hold the EXIF block of
// any JPEG that has it after at most its JFIF header); 1 when the file cannot be read.
inline constexpr std::size_t kExifHeadBytes = 128 * 1024;
int ReadExifOrientation(const std::string& path);

// Turns and mirrors bitmap so that it shows as orientation asks: 2 mirrored left to right, 3 turned
// half round, 4 mirrored top to bottom, 5 mirrored about the main diagonal, 6 turned a quarter
// clockwise, 7 mirrored about the other diagonal, 8 turned a quarter anticlockwise (5 to 8 swap
// width and height). Values outside 2..8 leave it as it is. The bitmap is notified as by a Resize.
// Throws EOutOfResources when the turned copy cannot be allocated; bitmap then stays as it was.
void OrientForDisplay(TBitmap32& bitmap, int orientation);

}  // namespace velquin

// TPictureFacts: what the pair display tells of each picture it shows, for a face to write out in
// its own formats (sizes, dates), and which of the pair has the larger of each value.
#pragma once

#include <cstdint>
#include <string>

namespace velquin {

class TBitmap32;

struct TPictureFacts {
  // The full name; empty when no picture is shown.
  std::string File;
  std::uint64_t Bytes = 0;
  // The picture as shown: turned as its EXIF orientation says.
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  // "JPEG", "GIF", "BMP", "PNG", "WebP", "TIFF" or "HEIF".
  std::string Format;
  // Last write, in milliseconds since 1970-01-01 00:00 UTC; a face shows it in local time.
  std::int64_t ModifiedMs = 0;

  bool Empty() const { return File.empty(); }
  friend bool operator==(const TPictureFacts&, const TPictureFacts&) = default;
};

// The facts of file as shown in picture (which holds it decoded); a file gone meanwhile has 0 bytes
// and time 0.
TPictureFacts ReadPictureFacts(const std::string& file, const TBitmap32& picture);

enum class TLarger : std::uint8_t { Neither, Left, Right };

// Which side has the larger value: more bytes, more pixels (width x height), a later date. Neither
// when the two are equal, or when either side shows no picture.
struct TFactsComparison {
  TLarger Bytes = TLarger::Neither;
  TLarger Pixels = TLarger::Neither;
  TLarger Modified = TLarger::Neither;
  friend bool operator==(const TFactsComparison&, const TFactsComparison&) = default;
};
TFactsComparison CompareFacts(const TPictureFacts& left, const TPictureFacts& right);

}  // namespace velquin

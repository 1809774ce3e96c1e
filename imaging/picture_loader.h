// LoadPicture: the one way a picture file becomes pixels in a working bitmap.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/bitmap32.h"
#include "platform/desktop.h"
#include "platform/file_utils.h"

namespace velquin {

// What loading needs from the window that asks for it.
class TLoadHost {
 public:
  virtual ~TLoadHost() = default;
  // Counting mode found one more picture to do (the window's FTotal += 1).
  virtual void CountPicture() = 0;
  // One item of the scan is done: the window's UpdateProgress with the step 1000.
  virtual void ProgressTick() = 0;
  // Lets pending window messages run; may run any handler of the window.
  virtual void ProcessMessages() = 0;
  virtual TCursor Cursor() const = 0;
  virtual void SetCursor(TCursor cursor) = 0;
  // Bytes a picture may still take; one larger is refused before anything is allocated for it.
  virtual std::uint64_t MemoryLeft() const;
};

// Empties the bitmap, then, when fileName names an existing .JPG, .GIF or .BMP file (extension
// compared without regard to case, and only when its first occurrence in the file's own name ends
// that name), either counts it (counting: host.CountPicture, nothing read) or decodes it into the
// bitmap at full size. Returns true iff a picture was decoded.
//
// `opened`, when given, receives the stamp of the file as it was opened for decoding.
//
// Throws EDecoderError or EOutOfResources with the text to show the user when the file cannot be
// opened, read, decoded or held in memory; the bitmap is then empty, or at the picture's size with
// its pixels 0 when decoding failed after the size was known, and the host's cursor is restored.
bool LoadPicture(const std::string& fileName, bool counting, bool showProgress, TBitmap32& bitmap,
                 TLoadHost& host, TFileStamp* opened = nullptr);

}  // namespace velquin

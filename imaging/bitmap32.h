// TBitmap32: the working bitmap, the in-memory picture every other part reads or draws.
//
// Pixels are TColor32 values 0xAARRGGBB (little-endian in memory: blue, green, red, alpha),
// row-major, top row first, no padding: pixel (X, Y) is Bits()[X + Y * Width()].
//
// Invariant: pixel memory exists exactly when the last Resize gave both sizes above 0.
// One size may be non-zero while the bitmap is empty (SetHeight(0) on 640 x 480 keeps Width 640).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

namespace velquin {

using TColor32 = std::uint32_t;

inline constexpr TColor32 kOpaqueBlack = 0xFF000000u;

enum class TDrawMode : std::uint8_t { dmOpaque, dmBlend, dmCustom };
enum class TStretchFilter : std::uint8_t { sfNearest, sfLinear, sfSpline, sfLanczos, sfMitchell };

class TBitmap32;

// A decoded picture that can be assigned into a working bitmap (JPEG, GIF, BMP decoders).
class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual std::int32_t Width() const = 0;
  virtual std::int32_t Height() const = 0;
  // REQUIRES: target is Width() x Height(), freshly allocated (every pixel 0x00000000, unless the
  // picture DrawsEveryRowInOrder). Writes the picture's pixels 1:1; pixels it leaves untouched stay 0.
  virtual void Draw(TBitmap32& target) const = 0;
  // True for rasters whose own alpha is copied as it stands (32-bit BMP): no MakeOpaque after Draw.
  virtual bool KeepsAlpha() const { return false; }
  // True for pictures whose Draw writes every pixel of every row, top row first, calls
  // target.NotifyRowDrawn(y) as soon as row y is final, and needs no MakeOpaque (KeepsAlpha).
  // Their target then need not be cleared before Draw: clearing would cost a write of the whole
  // bitmap that Draw overwrites anyway.
  virtual bool DrawsEveryRowInOrder() const { return false; }
};

class TBitmap32 {
 public:
  using TNotifyEvent = std::function<void(TBitmap32&)>;
  using TRowEvent = std::function<void(TBitmap32&, std::int32_t y)>;

  TBitmap32() = default;
  ~TBitmap32();
  TBitmap32(const TBitmap32&) = delete;
  TBitmap32& operator=(const TBitmap32&) = delete;

  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }

  // Returns true iff the size changed. Values below 1 become 0. New pixels read 0x00000000.
  // Throws EOutOfResources("Can't allocate the DIB handle") when memory cannot be had; the
  // bitmap is then 0 x 0 and the three notifications have still run.
  bool Resize(std::int32_t newWidth, std::int32_t newHeight);
  void SetWidth(std::int32_t value) { Resize(value, height_); }
  void SetHeight(std::int32_t value) { Resize(width_, value); }
  void ClearToEmpty() { Resize(0, 0); }
  bool IsEmpty() const { return bits_ == nullptr || width_ == 0 || height_ == 0; }

  TColor32 ReadPixel(std::int32_t x, std::int32_t y) const {
    if (x < 0 || x >= width_ || y < 0 || y >= height_) return OuterColor;
    return bits_[static_cast<std::size_t>(x) +
                 static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)];
  }
  void WritePixel(std::int32_t x, std::int32_t y, TColor32 value) {
    if (x < 0 || x >= width_ || y < 0 || y >= height_) return;
    bits_[static_cast<std::size_t>(x) + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)] =
        value;
  }

  void Fill(TColor32 color);
  void Clear() { Fill(kOpaqueBlack); }
  // Fills the half-open rectangle [x1, x2) x [y1, y2), clipped to the bitmap.
  void FillRect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, TColor32 color);
  void MakeOpaque();
  // Resizes to the picture and lets it draw itself; NotifyChange fires exactly once, also on failure.
  // OnRowDrawn fires for rows 0, 1, ... Height() - 1 in turn, each once it holds its final pixels:
  // while Draw runs for a picture that DrawsEveryRowInOrder, after Draw for any other. When Draw
  // fails, some rows may have fired; the pixels are then those Draw wrote, and for a picture that
  // DrawsEveryRowInOrder all 0 below the rows that fired (so no uncleared memory is ever read, and
  // rows handed out are not changed under their readers).
  void AssignPicture(const TGraphic& picture);

  // Trades pictures (sizes and pixels) with other, which no other thread may be using; the drawing
  // settings and event handlers stay. Both bitmaps are notified as by a Resize. Costs no copy: a
  // picture decoded elsewhere is handed over this way.
  void Exchange(TBitmap32& other);

  // Direct pixel access for decoders and views. nullptr when empty.
  TColor32* Bits() { return bits_; }
  const TColor32* Bits() const { return bits_; }
  TColor32* ScanLine(std::int32_t y) {
    return bits_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
  }
  const TColor32* ScanLine(std::int32_t y) const {
    return bits_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
  }

  void StartUpdate() { ++updateCount_; }
  void EndUpdate() { --updateCount_; }
  std::int32_t UpdateCount() const { return updateCount_; }
  void Lock();
  void Unlock();
  // Number of Lock calls not yet matched by Unlock.
  std::int32_t LockCount() const;

  // NotifyChange is held back while the update counter is above 0; the others are not.
  void NotifyChange();
  void NotifyResize();
  void NotifyHandleChange();
  // Called by a picture's Draw when row y is final (see TGraphic::DrawsEveryRowInOrder).
  void NotifyRowDrawn(std::int32_t y) noexcept;

  TNotifyEvent OnChange;
  TNotifyEvent OnResize;
  TNotifyEvent OnHandleChanged;
  // Lets a caller read each row of a drawn picture while it is still in cache. Must not throw: a
  // decoder calls it between calls into a C library that cannot be unwound.
  TRowEvent OnRowDrawn;

  // Drawing settings: never changed by this program, kept representable.
  TDrawMode DrawMode = TDrawMode::dmOpaque;
  std::uint32_t MasterAlpha = 255;
  TColor32 OuterColor = 0x00000000u;
  TStretchFilter StretchFilter = TStretchFilter::sfNearest;

 private:
  void ReleasePixels();
  // Resize; with clear false, new pixel memory is left as the allocator gives it.
  bool Reallocate(std::int32_t newWidth, std::int32_t newHeight, bool clear);

  std::recursive_mutex lock_;
  std::int32_t lockCount_ = 0;
  std::int32_t updateCount_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  TColor32* bits_ = nullptr;
  std::int32_t rowsFired_ = 0;  // rows 0 .. rowsFired_ - 1 fired during the last AssignPicture
};

}  // namespace velquin

// TImage32: the picture view. Owns one working bitmap (the picture) and a paint buffer, and renders
// the picture fitted into the view onto its background, without any window system: a widget sets
// OnRepaintRequest, reports its size through SetBounds and copies the buffer to the screen in Paint.
//
// Rendering: the buffer is cleared where the picture does not cover the view (background Color),
// then the picture is drawn into PictureRect() by nearest-neighbour StretchTo. The buffer is kept
// between paints: only a repaint request (picture changed, view resized, settings changed) makes
// the next Paint render again, and the buffer is reallocated only when the view outgrows it or
// becomes more than kBufferMargin pixels smaller in one direction.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "imaging/bitmap32.h"

namespace velquin {

enum class TScaleMode : std::uint8_t { smNormal, smStretch, smScale, smResize };
enum class TBitmapAlign : std::uint8_t { baTopLeft, baCenter, baTile, baCustom };

// A half-open rectangle [Left, Right) x [Top, Bottom).
struct TRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;

  std::int32_t Width() const { return Right - Left; }
  std::int32_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TSize {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Draws the whole of source into rect of destination, clipped to destination's bounds, as an opaque
// nearest-neighbour copy: with DW the rectangle's width, destination column i takes source column
// Round(i * F), F = (SW - 1) / (DW - 1) in single precision, halves to even; DW < 2 takes column
// (SW - 1) div 2. Rows likewise. A rectangle of the source's own size is copied 1:1.
void StretchTo(TBitmap32& source, TBitmap32& destination, const TRect& rect);

class TImage32 {
 public:
  static constexpr std::int32_t kBufferMargin = 40;
  static constexpr std::int32_t kDefaultSize = 192;
  // The button face of the default desktop palette; a widget replaces it with its own palette's.
  static constexpr TColor32 kDefaultColor = 0xFFF0F0F0u;

  // A view owning its picture.
  TImage32();
  // A view showing a picture owned elsewhere (a form that keeps its pictures without views).
  // REQUIRES: picture outlives the view, and nothing else sets its OnChange or OnResize meanwhile.
  explicit TImage32(TBitmap32& picture);
  ~TImage32();
  TImage32(const TImage32&) = delete;
  TImage32& operator=(const TImage32&) = delete;

  // The picture. Its change and resize notifications are wired to this view while it lives: keep
  // its OnChange and OnResize as they are.
  TBitmap32& Bitmap() { return bitmap_; }
  const TBitmap32& Bitmap() const { return bitmap_; }
  // The paint buffer; possibly larger than the view (see FitBuffer). Valid pixels: the top-left
  // Width() x Height() after Paint or RenderBuffer.
  const TBitmap32& Buffer() const { return buffer_; }

  // View position and size in its parent. Sizes below 0 become 0.
  std::int32_t Left() const { return left_; }
  std::int32_t Top() const { return top_; }
  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  void SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height);
  void SetSize(std::int32_t width, std::int32_t height) { SetBounds(left_, top_, width, height); }

  TScaleMode ScaleMode() const { return scaleMode_; }
  void SetScaleMode(TScaleMode value);
  TBitmapAlign BitmapAlign() const { return bitmapAlign_; }
  void SetBitmapAlign(TBitmapAlign value);
  float Scale() const { return scale_; }
  // Values below 0.001 become 0.001.
  void SetScale(float value);
  // Shift of the picture for baCustom.
  float OffsetHorz() const { return offsetHorz_; }
  float OffsetVert() const { return offsetVert_; }
  void SetOffsets(float horz, float vert);
  // Background, opaque (alpha 255 is forced).
  TColor32 Color() const { return color_; }
  void SetColor(TColor32 value);
  // When true, a change of the picture's size sets the view's size to the picture's (times Scale in
  // smScale).
  bool AutoSize = false;

  // Size of the picture on the view; 0 x 0 for an empty picture or an empty view.
  TSize PictureSize() const;
  // PictureSize() placed by BitmapAlign; recomputed only when the cache is stale.
  TRect PictureRect();

  bool BufferValid() const { return bufferValid_; }
  bool CacheValid() const { return cacheValid_; }

  // The view's update counter: while above 0, NotifyChange does nothing.
  void StartUpdate() { ++updateCount_; }
  void EndUpdate() { --updateCount_; }
  std::int32_t UpdateCount() const { return updateCount_; }
  // When the update counter is 0: a repaint request, then OnChange.
  void NotifyChange();
  // Marks buffer and cache stale and calls OnRepaintRequest.
  void Invalidate();

  // Replaces the buffer by one of exactly the view's size when the view is larger than the buffer,
  // or more than kBufferMargin pixels smaller, in either direction; a replaced buffer is stale.
  void FitBuffer();
  // Background where the picture does not cover the view, then the picture; the buffer is then valid.
  void RenderBuffer();
  // What the widget runs when asked to paint: FitBuffer, RenderBuffer when stale, then copy(buffer)
  // under the buffer's lock; copy should take the buffer's top-left Width() x Height() pixels.
  void Paint(const std::function<void(const TBitmap32& buffer)>& copy);

  // Asks the window system to repaint the view later (several requests may give one repaint).
  std::function<void()> OnRepaintRequest;
  // Fired by NotifyChange.
  std::function<void()> OnChange;

 private:
  explicit TImage32(std::unique_ptr<TBitmap32> picture);
  void Wire();
  void PictureResized();
  void ClearBackground();
  void DrawPicture();

  std::unique_ptr<TBitmap32> ownBitmap_;  // null when the picture is owned elsewhere
  TBitmap32& bitmap_;
  TBitmap32 buffer_;
  std::int32_t left_ = 0;
  std::int32_t top_ = 0;
  std::int32_t width_ = kDefaultSize;
  std::int32_t height_ = kDefaultSize;
  TScaleMode scaleMode_ = TScaleMode::smNormal;
  TBitmapAlign bitmapAlign_ = TBitmapAlign::baTopLeft;
  float scale_ = 1.0f;
  float offsetHorz_ = 0.0f;
  float offsetVert_ = 0.0f;
  TColor32 color_ = kDefaultColor;
  std::int32_t updateCount_ = 0;
  bool bufferValid_ = false;
  // Invariant: when cacheValid_, pictureRect_ is PictureRect() for the current picture, view and settings.
  bool cacheValid_ = false;
  TRect pictureRect_;
};

}  // namespace velquin

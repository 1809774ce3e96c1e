#include "imaging/picture_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/scope_guard.h"

namespace velquin {
namespace {

// Round(n * f) with the product formed exactly (64-bit mantissa) and halves going to the even neighbour.
std::int32_t RoundProduct(std::int32_t n, float f) {
  return static_cast<std::int32_t>(std::nearbyint(static_cast<long double>(n) * static_cast<long double>(f)));
}

// The single-precision quotient a / b, correctly rounded for operands below 2^24 (every view and
// picture size this program meets).
float SingleQuotient(std::int32_t a, std::int32_t b) { return static_cast<float>(a) / static_cast<float>(b); }

// The source column (or row) for each of the span destination columns (or rows).
std::vector<std::int32_t> NearestMap(std::int32_t sourceSize, std::int32_t span) {
  std::vector<std::int32_t> map(static_cast<std::size_t>(span));
  if (span < 2) {
    std::fill(map.begin(), map.end(), (sourceSize - 1) / 2);
    return map;
  }
  const float factor = SingleQuotient(sourceSize - 1, span - 1);
  for (std::int32_t i = 0; i < span; ++i)
    map[static_cast<std::size_t>(i)] = std::clamp(RoundProduct(i, factor), 0, sourceSize - 1);
  return map;
}

// Holds the bitmap's lock until the end of the scope.
auto LockOf(TBitmap32& bitmap) {
  bitmap.Lock();
  return TScopeGuard([&bitmap] { bitmap.Unlock(); });
}

}  // namespace

void StretchTo(TBitmap32& source, TBitmap32& destination, const TRect& rect) {
  if (source.IsEmpty() || destination.IsEmpty() || rect.IsEmpty()) return;
  const TRect clip{std::max(rect.Left, 0), std::max(rect.Top, 0), std::min(rect.Right, destination.Width()),
                   std::min(rect.Bottom, destination.Height())};
  if (clip.IsEmpty()) return;
  const std::int32_t sw = source.Width();
  const std::int32_t sh = source.Height();

  if (rect.Width() == sw && rect.Height() == sh) {
    const auto count = static_cast<std::size_t>(clip.Width());
    for (std::int32_t y = clip.Top; y < clip.Bottom; ++y) {
      std::memcpy(destination.ScanLine(y) + clip.Left,
                  source.ScanLine(y - rect.Top) + (clip.Left - rect.Left), count * sizeof(TColor32));
    }
    return;
  }

  // The mapping spans the whole rectangle, so a clipped picture keeps its scale.
  const std::vector<std::int32_t> columns = NearestMap(sw, rect.Width());
  const std::vector<std::int32_t> rows = NearestMap(sh, rect.Height());
  std::int32_t previousRow = -1;
  for (std::int32_t y = clip.Top; y < clip.Bottom; ++y) {
    const std::int32_t sourceRow = rows[static_cast<std::size_t>(y - rect.Top)];
    TColor32* out = destination.ScanLine(y) + clip.Left;
    if (sourceRow == previousRow) {
      std::memcpy(out, destination.ScanLine(y - 1) + clip.Left,
                  static_cast<std::size_t>(clip.Width()) * sizeof(TColor32));
      continue;
    }
    const TColor32* in = source.ScanLine(sourceRow);
    const std::int32_t* column = columns.data() + (clip.Left - rect.Left);
    for (std::int32_t x = 0; x < clip.Width(); ++x) out[x] = in[column[x]];
    previousRow = sourceRow;
  }
}

TImage32::TImage32() : TImage32(std::make_unique<TBitmap32>()) {}

TImage32::TImage32(TBitmap32& picture) : bitmap_(picture) { Wire(); }

TImage32::TImage32(std::unique_ptr<TBitmap32> picture)
    : ownBitmap_(std::move(picture)), bitmap_(*ownBitmap_) {
  Wire();
}

void TImage32::Wire() {
  buffer_.StartUpdate();
  bitmap_.OnChange = [this](TBitmap32&) { NotifyChange(); };
  bitmap_.OnResize = [this](TBitmap32&) { PictureResized(); };
}

TImage32::~TImage32() {
  StartUpdate();
  bitmap_.OnChange = nullptr;
  bitmap_.OnResize = nullptr;
}

void TImage32::SetBounds(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  bufferValid_ = false;
  FitBuffer();
  cacheValid_ = false;
  if (OnRepaintRequest) OnRepaintRequest();
}

void TImage32::SetScaleMode(TScaleMode value) {
  if (value == scaleMode_) return;
  scaleMode_ = value;
  cacheValid_ = false;
  NotifyChange();
}

void TImage32::SetBitmapAlign(TBitmapAlign value) {
  bitmapAlign_ = value;
  cacheValid_ = false;
  NotifyChange();
}

void TImage32::SetScale(float value) {
  value = std::max(value, 0.001f);
  if (value == scale_) return;
  scale_ = value;
  cacheValid_ = false;
  NotifyChange();
}

void TImage32::SetOffsets(float horz, float vert) {
  offsetHorz_ = horz;
  offsetVert_ = vert;
  cacheValid_ = false;
  NotifyChange();
}

void TImage32::SetColor(TColor32 value) {
  value |= 0xFF000000u;
  if (value == color_) return;
  color_ = value;
  Invalidate();
}

TSize TImage32::PictureSize() const {
  const std::int32_t bw = bitmap_.Width();
  const std::int32_t bh = bitmap_.Height();
  if (bitmap_.IsEmpty() || width_ == 0 || height_ == 0) return {};
  TSize size;
  switch (scaleMode_) {
    case TScaleMode::smNormal:
      size = {bw, bh};
      break;
    case TScaleMode::smStretch:
      size = {width_, height_};
      break;
    case TScaleMode::smScale:
      size = {RoundProduct(bw, scale_), RoundProduct(bh, scale_)};
      break;
    case TScaleMode::smResize: {
      const float sx = SingleQuotient(width_, bw);
      const float sy = SingleQuotient(height_, bh);
      if (sx >= sy)
        size = {RoundProduct(bw, sy), height_};
      else
        size = {width_, RoundProduct(bh, sx)};
      break;
    }
  }
  return {std::max(size.Width, 0), std::max(size.Height, 0)};
}

TRect TImage32::PictureRect() {
  if (cacheValid_) return pictureRect_;
  TRect rect;
  if (!bitmap_.IsEmpty()) {
    const TSize size = PictureSize();
    rect = {0, 0, size.Width, size.Height};
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    if (bitmapAlign_ == TBitmapAlign::baCenter) {
      dx = (width_ - size.Width) / 2;
      dy = (height_ - size.Height) / 2;
    } else if (bitmapAlign_ == TBitmapAlign::baCustom) {
      dx = static_cast<std::int32_t>(std::nearbyint(offsetHorz_));
      dy = static_cast<std::int32_t>(std::nearbyint(offsetVert_));
    }
    rect = {rect.Left + dx, rect.Top + dy, rect.Right + dx, rect.Bottom + dy};
  }
  pictureRect_ = rect;
  cacheValid_ = true;
  return rect;
}

void TImage32::NotifyChange() {
  if (updateCount_ != 0) return;
  Invalidate();
  if (OnChange) OnChange();
}

void TImage32::Invalidate() {
  bufferValid_ = false;
  cacheValid_ = false;
  if (OnRepaintRequest) OnRepaintRequest();
}

void TImage32::PictureResized() {
  if (AutoSize && bitmap_.Width() > 0 && bitmap_.Height() > 0) {
    if (scaleMode_ == TScaleMode::smScale)
      SetSize(RoundProduct(bitmap_.Width(), scale_), RoundProduct(bitmap_.Height(), scale_));
    else
      SetSize(bitmap_.Width(), bitmap_.Height());
  }
  Invalidate();
}

void TImage32::FitBuffer() {
  const auto due = [](std::int32_t view, std::int32_t buffer) {
    return view > buffer || view < buffer - kBufferMargin;
  };
  if (!due(width_, buffer_.Width()) && !due(height_, buffer_.Height())) return;
  const auto lock = LockOf(buffer_);
  buffer_.Resize(width_, height_);
  bufferValid_ = false;
}

void TImage32::RenderBuffer() {
  PictureRect();
  ClearBackground();
  DrawPicture();
  bufferValid_ = true;
}

void TImage32::ClearBackground() {
  if (bitmap_.IsEmpty() || bitmap_.DrawMode != TDrawMode::dmOpaque) {
    buffer_.Fill(color_);
    return;
  }
  const TRect r = pictureRect_;
  if (bitmapAlign_ == TBitmapAlign::baTile && !r.IsEmpty()) return;
  if (r.Left > 0 || r.Right < width_ || r.Top > 0 || r.Bottom < height_) {
    buffer_.FillRect(0, 0, width_, r.Top, color_);
    buffer_.FillRect(0, r.Bottom, width_, height_, color_);
    buffer_.FillRect(0, r.Top, r.Left, r.Bottom, color_);
    buffer_.FillRect(r.Right, r.Top, width_, r.Bottom, color_);
  }
}

void TImage32::DrawPicture() {
  const TRect r = pictureRect_;
  if (bitmap_.IsEmpty() || r.IsEmpty()) return;
  const auto lock = LockOf(bitmap_);
  if (bitmapAlign_ != TBitmapAlign::baTile) {
    StretchTo(bitmap_, buffer_, r);
    return;
  }
  for (std::int32_t top = r.Top; top < buffer_.Height(); top += r.Height())
    for (std::int32_t left = r.Left; left < buffer_.Width(); left += r.Width())
      StretchTo(bitmap_, buffer_, {left, top, left + r.Width(), top + r.Height()});
}

void TImage32::Paint(const std::function<void(const TBitmap32& buffer)>& copy) {
  FitBuffer();
  if (!bufferValid_) RenderBuffer();
  const auto lock = LockOf(buffer_);
  copy(buffer_);
}

}  // namespace velquin

// TEqualizer: the brightness equalisation that may precede a signature, with the tables it reuses for
// every picture it handles (no per-picture allocation). Each equaliser owns its tables: pictures
// equalised by different equalisers do not meet, so they may run on different threads at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/bitmap32.h"
#include "signature/signature.h"
#include "signature/signature_rows.h"

namespace velquin {

inline constexpr int kBrightnessLevels = 769;

using TBrightnessHistogram = std::array<std::int64_t, kBrightnessLevels>;
using TBrightnessMap = std::array<std::int32_t, kBrightnessLevels>;

class TEqualizer {
 public:
  TEqualizer();

  // Equalises the brightness distribution in place: BuildHistogram, BuildBrightnessMap,
  // ApplyEqualization. Every rewritten pixel has alpha 0. A bitmap without pixels is left as it is. No
  // notification fires.
  void EqualizeBrightness(TBitmap32& bitmap);
  // EqualizeBrightness(bitmap), then MakeSignature(bitmap), rewriting and summing each row in one go.
  TSignature EqualizeAndMakeSignature(TBitmap32& bitmap);

  // The steps one by one.
  // Fills the brightness histogram: counter[Brightness(p)] for every pixel p.
  void BuildHistogram(const TBitmap32& bitmap);
  // The same in steps, for pixels counted as they arrive (TBitmap32::OnRowDrawn) while still in cache:
  // ClearHistogram, then AddToHistogram over every pixel once, equals BuildHistogram.
  void ClearHistogram();
  void AddToHistogram(const TColor32* pixels, std::size_t count);
  // Fills the brightness map from the histogram (map[k]: pixels below brightness k, in steps of
  // pixels / 768, stretched to end near 768), and from it the factors of ApplyEqualization, and returns
  // the final level L before stretching (767 or 768). An empty histogram leaves the map all zeros and
  // returns 0.
  std::int32_t BuildBrightnessMap();
  // Replaces every pixel p of brightness b by ScaleColor(p, (map[b] + 1) / (b + 1)).
  void ApplyEqualization(TBitmap32& bitmap) const;
  // Fused steps for callers that sign many pictures. Each returns what the separate steps return and
  // leaves the same pixels and tables, but rewrites and sums each row in one go, reading the pixels from
  // memory once less.
  // ApplyEqualization(bitmap), then MakeSignature(bitmap).
  TSignature ApplyEqualizationAndMakeSignature(TBitmap32& bitmap) const;
  // What ApplyEqualizationAndMakeSignature returns, leaving the bitmap as it is: for callers that need
  // only the signature. Writes no pixel back to memory. AddEqualizedRows does it in parts.
  TSignature EqualizedSignature(const TBitmap32& bitmap) const;
  // Adds rows [first, last) of bitmap as ApplyEqualization would leave them, without changing the
  // bitmap. REQUIRES: BuildBrightnessMap from the bitmap's histogram, rows started for the bitmap's
  // size, and 0 <= first <= last <= its height. Threads may do this at once for different rows, each
  // with its own rows, while nothing else uses this equaliser.
  void AddEqualizedRows(const TBitmap32& bitmap, std::int32_t first, std::int32_t last,
                        TSignatureRows& rows) const;

  const TBrightnessHistogram& Histogram();
  const TBrightnessMap& Map() const { return map_; }

 private:
  static constexpr int kMaxBrightness = 765;
  // multiplier_[b]: the ChannelMultiplier of the factor for brightness b, made from map_.
  using TMultipliers = std::array<std::uint32_t, kMaxBrightness + 1>;

  void SumPartialHistograms();
  void MakeMultipliers();

  // Histogram counters, kPartials tables filled in turn: neighbouring pixels often share a brightness,
  // and counting them into different tables keeps successive increments of one counter from waiting on
  // each other. histogram_ is their sum, formed when it is read.
  static constexpr int kPartials = 8;
  std::int64_t partial_[kPartials][kBrightnessLevels] = {};
  TBrightnessHistogram histogram_{};
  TBrightnessMap map_{};
  TMultipliers multiplier_{};
};

}  // namespace velquin

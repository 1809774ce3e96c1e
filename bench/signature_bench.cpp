// Signature speed against a plain copy of the same pixel block, measured side by side in every iteration
// so that machine load affects both alike. x_memcpy is the operation's time over the copy's time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "imaging/bitmap32.h"
#include "signature/equalizer.h"
#include "signature/gray_grid.h"
#include "signature/signature.h"

namespace velquin {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr std::size_t kBytes = std::size_t{kWidth} * kHeight * sizeof(TColor32);

// Photo-like content: smooth colour gradients with a few bright blobs plus deterministic noise.
const TBitmap32& Photo() {
  static TBitmap32* photo = [] {
    auto* bitmap = new TBitmap32;
    bitmap->Resize(kWidth, kHeight);
    std::uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
      TColor32* row = bitmap->ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = (static_cast<int>(seed >> 28) - 8) / 8;
        const double u = static_cast<double>(x) / kWidth, v = static_cast<double>(y) / kHeight;
        const double blob = 60.0 * std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 20.0);
        auto channel = [&](double base) {
          const int value = static_cast<int>(base + blob) + noise;
          return static_cast<TColor32>(value < 0 ? 0 : value > 255 ? 255 : value);
        };
        row[x] = 0xFF000000u | channel(40 + 150 * u) << 16 | channel(90 + 100 * v * u) << 8 |
                 channel(180 - 120 * v);
      }
    }
    return bitmap;
  }();
  return *photo;
}

using Clock = std::chrono::steady_clock;

// Each iteration copies the photo into the working bitmap (the timed reference) and then runs op on it
// (the reported time).
template <typename Op>
void RunAgainstCopy(benchmark::State& state, Op op) {
  const TBitmap32& photo = Photo();
  TBitmap32 work;
  work.Resize(kWidth, kHeight);
  double copySeconds = 0, opSeconds = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    std::memcpy(work.Bits(), photo.Bits(), kBytes);
    benchmark::ClobberMemory();
    const auto copied = Clock::now();
    op(work);
    benchmark::ClobberMemory();
    const auto done = Clock::now();
    const double copy = std::chrono::duration<double>(copied - start).count();
    const double run = std::chrono::duration<double>(done - copied).count();
    copySeconds += copy;
    opSeconds += run;
    state.SetIterationTime(run);
  }
  state.counters["memcpy_ms"] = copySeconds * 1000.0 / static_cast<double>(state.iterations());
  state.counters["x_memcpy"] = opSeconds / copySeconds;
}

void BM_Memcpy(benchmark::State& state) {
  RunAgainstCopy(state, [](TBitmap32& bitmap) { std::memcpy(bitmap.Bits(), Photo().Bits(), kBytes); });
}

void BM_MakeSignature(benchmark::State& state) {
  RunAgainstCopy(state, [](TBitmap32& bitmap) { benchmark::DoNotOptimize(MakeSignature(bitmap)); });
}

void BM_EqualizeAndMakeSignature(benchmark::State& state) {
  TEqualizer equalizer;
  RunAgainstCopy(state, [&](TBitmap32& bitmap) {
    equalizer.EqualizeBrightness(bitmap);
    benchmark::DoNotOptimize(MakeSignature(bitmap));
  });
}

// The same result in one fused pass (what the scan and velquin-cli --normalize run).
void BM_EqualizeAndMakeSignatureFused(benchmark::State& state) {
  TEqualizer equalizer;
  RunAgainstCopy(state, [&](TBitmap32& bitmap) {
    benchmark::DoNotOptimize(equalizer.EqualizeAndMakeSignature(bitmap));
  });
}

// What the scan runs once a picture is decoded: the histogram (counted while decoding, here over the
// whole bitmap), then the signature of the equalised pixels without writing them.
void BM_EqualizedSignature(benchmark::State& state) {
  TEqualizer equalizer;
  RunAgainstCopy(state, [&](TBitmap32& bitmap) {
    equalizer.BuildHistogram(bitmap);
    equalizer.BuildBrightnessMap();
    benchmark::DoNotOptimize(equalizer.EqualizedSignature(bitmap));
  });
}

// The two counts the scan makes of each row as the decoder hands it out, row by row as there: the
// brightness histogram (when normalising) and the gray grid's luma histograms.
void BM_BrightnessHistogramRows(benchmark::State& state) {
  TEqualizer equalizer;
  RunAgainstCopy(state, [&](TBitmap32& bitmap) {
    equalizer.ClearHistogram();
    for (int y = 0; y < kHeight; ++y) equalizer.AddToHistogram(bitmap.ScanLine(y), kWidth);
    benchmark::DoNotOptimize(equalizer.Histogram());
  });
}

void BM_GrayGridRows(benchmark::State& state) {
  TGrayGridRows rows;
  RunAgainstCopy(state, [&](TBitmap32& bitmap) {
    rows.Start(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) rows.AddRow(y, bitmap.ScanLine(y));
    benchmark::DoNotOptimize(rows.Grid());
  });
}

BENCHMARK(BM_Memcpy)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeSignature)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EqualizeAndMakeSignature)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EqualizeAndMakeSignatureFused)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EqualizedSignature)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BrightnessHistogramRows)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrayGridRows)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

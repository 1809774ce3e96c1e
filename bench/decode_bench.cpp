// JPEG loading against libjpeg's own decode of the same file into one row buffer (the work of
// `djpeg -outfile /dev/null`), in one process so that machine load affects both alike.
// The file: $VELQUIN_BENCH_JPEG, else the largest of bench/data/jpeg/, else a generated 8 MP photo.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/bitmap32.h"
#include "imaging/jpeg_image.h"
#include "imaging/jpeg_test_support.h"
#include "signature/equalizer.h"
#include "signature/gray_grid.h"
#include "signature/picture_signer.h"
#include "signature/signature.h"

namespace velquin {
namespace {

std::vector<std::uint8_t> Generated() {
  testing::TJpegParams params;
  params.width = 3456;
  params.height = 2304;
  params.quality = 88;
  std::uint32_t seed = 1;
  int noise = 0;
  return testing::CompressPixels(params, [&](int x, int y, int c) {
    if (c == 0) {
      seed = seed * 1664525u + 1013904223u;
      noise = static_cast<int>(seed >> 27);
    }
    const int value = c == 0 ? x / 14 : c == 1 ? y / 9 + x / 31 : 200 - y / 12;
    return (value + noise) & 0xFF;
  });
}

const std::vector<std::uint8_t>& Photo() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::string path;
    if (const char* chosen = std::getenv("VELQUIN_BENCH_JPEG")) path = chosen;
    std::error_code error;
    const std::filesystem::path folder =
        std::filesystem::path(VELQUIN_SOURCE_DIR) / "bench" / "data" / "jpeg";
    std::uintmax_t largest = 0;
    if (path.empty())
      for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".jpg" && entry.file_size() > largest) {
          largest = entry.file_size();
          path = entry.path().string();
        }
    if (path.empty()) return Generated();
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  return bytes;
}

void BM_LibjpegRows(benchmark::State& state) {
  const auto& bytes = Photo();
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
    benchmark::DoNotOptimize(row.data());
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
  }
}

// The photo written to a temporary file, removed at exit: LoadPicture decodes from the file.
class TPhotoFile {
 public:
  TPhotoFile()
      : path_(std::filesystem::temp_directory_path() /
              ("velquin-decode-bench-" + std::to_string(::getpid()) + ".jpg")) {
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(Photo().data()), static_cast<std::streamsize>(Photo().size()));
  }
  ~TPhotoFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

const std::string& PhotoPath() {
  static const TPhotoFile file;
  static const std::string path = file.Path();
  return path;
}

// What LoadPicture does for a JPEG file.
void LoadInto(TBitmap32& bitmap) {
  TJPEGImage jpeg;
  jpeg.LoadFromFile(PhotoPath());
  bitmap.SetHeight(0);
  bitmap.SetWidth(0);
  bitmap.AssignPicture(jpeg);
}

void BM_LoadPicture(benchmark::State& state) {
  TBitmap32 bitmap;
  for (auto _ : state) {
    LoadInto(bitmap);
    benchmark::DoNotOptimize(bitmap.Bits());
  }
}

void BM_LoadAndSign(benchmark::State& state) {
  TBitmap32 bitmap;
  for (auto _ : state) {
    LoadInto(bitmap);
    benchmark::DoNotOptimize(MakeSignature(bitmap));
  }
}

void BM_LoadNormalizeAndSign(benchmark::State& state) {
  TBitmap32 bitmap;
  TEqualizer equalizer;
  for (auto _ : state) {
    LoadInto(bitmap);
    equalizer.EqualizeBrightness(bitmap);
    benchmark::DoNotOptimize(MakeSignature(bitmap));
  }
}

// The gray grid's share of what the scan does with each picture it signs: load, the gray grid of the
// pixels as loaded, equalise when normalising, sign. Each iteration times both parts on this thread's
// CPU clock, so that other work on the machine weighs on neither. A first scan does more per picture
// than this (the file's stamps, the table), so the share of a scan is smaller still (target: at most
// 5 %): gray_share.
double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_GrayShareOfLoadAndSign(benchmark::State& state) {
  TBitmap32 bitmap;
  TEqualizer equalizer;
  const bool normalize = state.range(0) != 0;
  double gray = 0, rest = 0;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    LoadInto(bitmap);
    const double loaded = ThreadSeconds();
    benchmark::DoNotOptimize(MakeGrayGrid(bitmap));
    const double grid = ThreadSeconds();
    if (normalize) equalizer.EqualizeBrightness(bitmap);
    benchmark::DoNotOptimize(MakeSignature(bitmap));
    const double end = ThreadSeconds();
    gray += grid - loaded;
    rest += (loaded - start) + (end - grid);
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["gray_ms"] = gray * 1000 / iterations;
  state.counters["load_and_sign_ms"] = rest * 1000 / iterations;
  state.counters["gray_share"] = gray / (gray + rest);
}

// What velquin-cli signature does: TPictureSigner gathers the Cell sums (or, when normalising, the
// brightness histogram) from each row as the decoder delivers it. Wall time as well as CPU time: with a
// helper thread, normalising spends more CPU time to take less time.
void BM_LoadAndSignByRows(benchmark::State& state) {
  TBitmap32 bitmap;
  TPictureSigner signer(bitmap, state.range(0) != 0, state.range(1) != 0);
  for (auto _ : state) {
    signer.Reset();
    LoadInto(bitmap);
    benchmark::DoNotOptimize(signer.Sign());
  }
}

BENCHMARK(BM_LibjpegRows)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_LoadPicture)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_LoadAndSign)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_LoadNormalizeAndSign)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_GrayShareOfLoadAndSign)->ArgNames({"normalize"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAndSignByRows)
    ->ArgNames({"normalize", "helper"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

// Groups of copies at scale: grouping 100,000 recorded pairs (names only, no file touched), listing
// 10,000 members with their pixel sizes read from their headers (a JPEG's frame header after a 20 KB
// block of camera data, as photos carry it), and the thumbnails of a group of 20 photos of 12 MP.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/copy_groups.h"
#include "imaging/jpeg_test_support.h"
#include "imaging/thumbnail.h"

namespace velquin {
namespace {

constexpr int kPairs = 100000;
constexpr int kMembers = 10000;
constexpr int kGroupSize = 5;

std::string PhotoName(const std::string& folder, int i) {
  return folder + "IMG_" + std::to_string(100000 + i) + ".JPG";
}

// Pairs over groups of 2 to 9 pictures, each picture paired with every other of its group (as a match
// pass records copies), in a shuffled order.
std::vector<TCopyPair> ManyPairs() {
  std::mt19937 random(17);
  std::vector<TCopyPair> pairs;
  int next = 0;
  while (static_cast<int>(pairs.size()) < kPairs) {
    const int size = 2 + static_cast<int>(random() % 8);
    for (int a = 0; a < size; ++a)
      for (int b = a + 1; b < size; ++b)
        pairs.push_back({PhotoName("/photos/", next + a), PhotoName("/photos/", next + b)});
    next += size;
  }
  pairs.resize(kPairs);
  std::shuffle(pairs.begin(), pairs.end(), random);
  return pairs;
}

void BM_GroupPairs(benchmark::State& state) {
  const std::vector<TCopyPair> pairs = ManyPairs();
  for (auto _ : state) {
    const TPairGroups groups = GroupPairs(pairs);
    benchmark::DoNotOptimize(groups.Groups.data());
  }
  state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_GroupPairs)->Unit(benchmark::kMillisecond);

// kMembers JPEG headers in a temporary folder, removed at exit.
class TPhotoFolder {
 public:
  TPhotoFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velquin-groups-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    path_ = pattern + "/";
    const std::string exif = std::string("\xFF\xE1\x50\x00", 4) + std::string(0x5000 - 2, 'e');
    const std::string frame =
        std::string("\xFF\xC0\x00\x11\x08\x0B\xB8\x0F\xA0\x03", 10) + std::string(9, '\x11');
    for (int i = 0; i < kMembers; ++i) {
      std::ofstream(PhotoName(path_, i), std::ios::binary)
          << "\xFF\xD8" << exif << frame << std::string(4096, 'p');
    }
  }
  ~TPhotoFolder() { std::filesystem::remove_all(path_); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

void BM_ListGroupsWithPixelSizes(benchmark::State& state) {
  static const TPhotoFolder folder;
  std::vector<TCopyPair> pairs;
  for (int first = 0; first < kMembers; first += kGroupSize)
    for (int i = 1; i < kGroupSize; ++i)
      pairs.push_back({PhotoName(folder.Path(), first), PhotoName(folder.Path(), first + i)});
  for (auto _ : state) {
    const TCopyGroups groups(pairs);
    if (groups.Groups().size() != kMembers / kGroupSize || groups.Groups()[0].Members[0].Width != 4000)
      state.SkipWithError("wrong groups");
  }
  state.SetItemsProcessed(state.iterations() * kMembers);
}
BENCHMARK(BM_ListGroupsWithPixelSizes)->Unit(benchmark::kMillisecond);

// A 4000 x 3000 photo-like JPEG (gradients and noise, quality 90), written once.
const std::string& TwelveMegapixelJpeg() {
  static const std::string path = [] {
    const std::string file = (std::filesystem::temp_directory_path() / "velquin-groups-12mp.jpg").string();
    testing::TJpegParams params;
    params.width = 4000;
    params.height = 3000;
    params.quality = 90;
    std::uint32_t noise = 1;
    const std::vector<std::uint8_t> bytes = testing::CompressPixels(params, [&](int x, int y, int) {
      noise = noise * 1103515245u + 12345u;
      return static_cast<int>((static_cast<std::uint32_t>(x / 16 + y / 12) + (noise >> 16) % 32) % 256);
    });
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
  }();
  return path;
}

// One thread decoding 20 thumbnails; the window spreads them over its worker threads.
void BM_TwentyThumbnailsOf12Megapixels(benchmark::State& state) {
  const std::string& photo = TwelveMegapixelJpeg();
  for (auto _ : state) {
    for (int i = 0; i < 20; ++i) benchmark::DoNotOptimize(LoadThumbnail(photo, 128).Pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * 20);
}
BENCHMARK(BM_TwentyThumbnailsOf12Megapixels)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

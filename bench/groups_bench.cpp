// Groups of copies at scale: grouping 100,000 recorded pairs (names only, no file touched), and listing
// 10,000 members with their pixel sizes read from their headers (a JPEG's frame header after a 20 KB
// block of camera data, as photos carry it).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/copy_groups.h"

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

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

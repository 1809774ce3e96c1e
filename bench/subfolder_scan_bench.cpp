// A scan with Subfolders of 10,000 small pictures spread over 100 folders against the scan of the same
// pictures in one folder without it, side by side: the first scan (every picture decoded, tables
// cleared before each) and the second (nothing decoded).
// Target: the tree's first scan takes at most 1.2 x the flat one (BM_FirstScanTreeOverFlat's
// tree_over_flat).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "bench/bench_form.h"
#include "bench/side_by_side.h"

namespace velquin {
namespace {

constexpr int kPictures = 10000;
constexpr int kFolders = 100;

// 8 x 8, 24 bits, each picture its own gray and blue.
std::string SmallBmp(int shade) {
  std::string bytes = {'B', 'M', static_cast<char>(246),
                       0,   0,   0,
                       0,   0,   0,
                       0,   54,  0,
                       0,   0,   40,
                       0,   0,   0,
                       8,   0,   0,
                       0,   8,   0,
                       0,   0,   1,
                       0,   24,  0};
  bytes.resize(54, '\0');
  for (int pixel = 0; pixel < 64; ++pixel) {
    bytes += static_cast<char>(shade / 256);
    bytes += static_cast<char>(shade & 0xFF);
    bytes += static_cast<char>(shade & 0xFF);
  }
  return bytes;
}

// The pictures in one folder (tree false) or in kFolders folders below the Folder (tree true), and a
// form set to scan them.
class TPictureFolder : public TBenchForm {
 public:
  explicit TPictureFolder(bool tree) : TBenchForm(tree ? "velquin-tree" : "velquin-flat") {
    for (int i = 0; i < kPictures; ++i) {
      std::string folder = Folder;
      if (tree) {
        folder += "folder" + std::to_string(i % kFolders) + "/";
        mkdir(folder.c_str(), 0755);
      }
      std::ofstream(folder + "picture" + std::to_string(i) + ".bmp", std::ios::binary) << SmallBmp(i);
    }
    Form.SetForceCB(false);
    Form.SetIncrMatchCB(false);
    Form.SetSubfoldersCB(tree);
    Form.SetDirEditText(Folder);
  }
  void FirstScan() {
    Form.ClearButtonClick();
    Form.CompSigsButtonClick();
    Check();
  }
  void SecondScan() { Form.CompSigsButtonClick(); }
  // Every picture found, none refused.
  void Check() {
    if (Form.SigsTable.RecordCount() != kPictures || !Form.Problems().empty()) std::abort();
  }
};

TPictureFolder& Flat() {
  static TPictureFolder flat(false);
  return flat;
}
TPictureFolder& Tree() {
  static TPictureFolder tree(true);
  return tree;
}

void BM_FirstScanTreeOverFlat(benchmark::State& state) {
  RunSideBySide(
      state, "flat", [] { Flat().FirstScan(); }, "tree", [] { Tree().FirstScan(); });
  state.SetItemsProcessed(state.iterations() * kPictures);
}
BENCHMARK(BM_FirstScanTreeOverFlat)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SecondScanTreeOverFlat(benchmark::State& state) {
  Flat().FirstScan();
  Tree().FirstScan();
  RunSideBySide(
      state, "flat", [] { Flat().SecondScan(); }, "tree", [] { Tree().SecondScan(); });
  state.SetItemsProcessed(state.iterations() * kPictures);
}
BENCHMARK(BM_SecondScanTreeOverFlat)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

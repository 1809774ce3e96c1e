// A scan with Subfolders of 10,000 small pictures spread over 100 folders against the scan of the same
// pictures in one folder without it, side by side: the first scan (every picture decoded, tables
// cleared before each) and the second (nothing decoded).
// Target: the tree's first scan takes at most 1.2 x the flat one (BM_FirstScanTreeOverFlat's
// tree_over_flat). On a loaded machine the ratio of the processor times (tree_over_flat_cpu) is the
// steadier figure.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <string>

#include "bench/bench_form.h"
#include "bench/side_by_side.h"

namespace velquin {
namespace {

constexpr int kPictures = 10000;
constexpr int kFolders = 100;

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
      std::ofstream(folder + "picture" + std::to_string(i) + ".bmp", std::ios::binary) << SmallBmp(
          static_cast<std::uint8_t>(i / 256), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i));
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

// Processor time of the process, in milliseconds.
double CpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// RunSideBySide, with the processor time of each side beside the elapsed time.
template <typename TFlat, typename TTree>
void CompareSides(benchmark::State& state, TFlat flat, TTree tree) {
  double flatCpu = 0, treeCpu = 0;
  RunSideBySide(
      state, "flat",
      [&] {
        const double start = CpuMs();
        flat();
        flatCpu += CpuMs() - start;
      },
      "tree",
      [&] {
        const double start = CpuMs();
        tree();
        treeCpu += CpuMs() - start;
      });
  state.counters["tree_over_flat_cpu"] = treeCpu / flatCpu;
  state.SetItemsProcessed(state.iterations() * kPictures);
}

TPictureFolder& Flat() {
  static TPictureFolder flat(false);
  return flat;
}
TPictureFolder& Tree() {
  static TPictureFolder tree(true);
  return tree;
}

void BM_FirstScanTreeOverFlat(benchmark::State& state) {
  CompareSides(
      state, [] { Flat().FirstScan(); }, [] { Tree().FirstScan(); });
}
BENCHMARK(BM_FirstScanTreeOverFlat)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SecondScanTreeOverFlat(benchmark::State& state) {
  Flat().FirstScan();
  Tree().FirstScan();
  CompareSides(
      state, [] { Flat().SecondScan(); }, [] { Tree().SecondScan(); });
}
BENCHMARK(BM_SecondScanTreeOverFlat)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

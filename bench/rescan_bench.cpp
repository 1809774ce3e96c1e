// A second scan (Force off) of an unchanged folder of 10,000 pictures loads no picture: the whole
// Signatures command against listing the folder and stating every file with
// `find FOLDER -maxdepth 1 -printf '%T@ %s\n'`, both on the same folder in the same run.
// Target: the scan takes at most 3 x the listing (BM_SecondScanOverFind's scan_over_find).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_form.h"
#include "bench/side_by_side.h"

namespace velquin {
namespace {

constexpr int kPictures = 10000;

// A folder of kPictures pictures, an AppDir, and a form whose first scan has stored them all.
class TScannedFolder : public TBenchForm {
 public:
  TScannedFolder() : TBenchForm("velquin-rescan") {
    for (int i = 0; i < kPictures; ++i) {
      std::ofstream(Folder + "picture" + std::to_string(i) + ".bmp", std::ios::binary) << SmallBmp(
          static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i));
    }
    Form.SetForceCB(false);
    Form.SetIncrMatchCB(false);
    Form.SetDirEditText(Folder);
    Form.CompSigsButtonClick();
  }
};

TScannedFolder& Scanned() {
  static TScannedFolder scanned;
  return scanned;
}

void BM_SecondScan(benchmark::State& state) {
  TScannedFolder& scanned = Scanned();
  if (scanned.Form.SigsTable.RecordCount() != kPictures) state.SkipWithError("first scan incomplete");
  for (auto _ : state) {
    scanned.Form.CompSigsButtonClick();
    if (scanned.Desktop.LastMessage.rfind("0 records added; 0 records edited", 0) != 0) {
      state.SkipWithError(("pictures were loaded again: " + scanned.Desktop.LastMessage).c_str());
    }
  }
  state.SetItemsProcessed(state.iterations() * kPictures);
}
BENCHMARK(BM_SecondScan)->Unit(benchmark::kMillisecond);

// Lists the folder as find does it, reading all of find's output; returns the bytes read.
std::size_t FindListing(const std::string& folder) {
  const std::string command = "find '" + folder + "' -maxdepth 1 -printf '%T@ %s\\n'";
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[65536];
  std::size_t bytes = 0;
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) bytes += got;
  pclose(pipe);
  return bytes;
}

void BM_FindListing(benchmark::State& state) {
  const std::string folder = Scanned().Folder;
  rusage before{};
  getrusage(RUSAGE_CHILDREN, &before);
  for (auto _ : state) benchmark::DoNotOptimize(FindListing(folder));
  // The listing runs in a child process: its CPU time is the children's, per iteration.
  rusage after{};
  getrusage(RUSAGE_CHILDREN, &after);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  const double cpu =
      seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_stime);
  state.counters["child_cpu_ms"] = cpu * 1000 / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations() * kPictures);
}
BENCHMARK(BM_FindListing)->Unit(benchmark::kMillisecond);

// The target's figure, scan_over_find: the listing and the second scan side by side.
void BM_SecondScanOverFind(benchmark::State& state) {
  TScannedFolder& scanned = Scanned();
  RunSideBySide(
      state, "find", [&] { benchmark::DoNotOptimize(FindListing(scanned.Folder)); }, "scan",
      [&] { scanned.Form.CompSigsButtonClick(); });
}
BENCHMARK(BM_SecondScanOverFind)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

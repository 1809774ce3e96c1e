// The match pass over 100,000 synthetic Sigs rows (first values spread over 0..255, one row in a
// thousand a near copy of an earlier one, so about one pair per thousand rows lies within the
// Margin 10) against one walk over Sigs reading every field, in the same run. Target: the pass
// takes at most 3 x the walk (BM_MatchPassOverWalk's pass_over_walk). Each row also holds a gray grid
// (a near copy's near its original's), and the pass with the Turned and Gray tests takes at most
// 3 x the pass without them (BM_TurnedGrayPassOverPass's turned_gray_over_pass).
//
// Memory: the heap's peak above its level at the start of the pass, for ~100 pairs and for ~10,000
// pairs (one row in ten a near copy); it must not grow with the pairs beyond the tables' own pages,
// which BM_AppendPairsOnly measures alone.
//
// Growth: BM_MatchPassRows runs the pass over kRows and over ten times as many rows (one in a
// thousand a near copy) side by side. Targets: the larger pass takes at most 12 x the time of the
// smaller one and its heap peak stays under 1 GB.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <new>
#include <random>
#include <string>

#include "app/match_command.h"
#include "bench/bench_form.h"
#include "bench/side_by_side.h"
#include "matching/match_engine.h"
#include "matching/sigs_snapshot.h"
#include "signature/gray_grid.h"
#include "signature/signature.h"

namespace {

std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};

void* Counted(void* p) {
  if (p == nullptr) throw std::bad_alloc();
  const std::size_t live = gLive += malloc_usable_size(p);
  std::size_t peak = gPeak.load();
  while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
  }
  return p;
}

void* Allocate(std::size_t size) { return Counted(std::malloc(size == 0 ? 1 : size)); }

// The large arrays of the pass (platform/large_pages.h) are aligned to their pages.
void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  void* p = nullptr;
  return Counted(
      posix_memalign(&p, static_cast<std::size_t>(alignment), size == 0 ? 1 : size) == 0 ? p : nullptr);
}

void Release(void* p) {
  if (p == nullptr) return;
  gLive -= malloc_usable_size(p);
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }

namespace velquin {
namespace {

constexpr int kRows = 100000;

// A Folder whose Sigs holds `rows` synthetic rows; one row in copyEvery copies an earlier row within
// 3 in every value. The form's pair display is detached: the rows name no real files.
class TSyntheticFolder : public TBenchForm {
 public:
  explicit TSyntheticFolder(int copyEvery, int rows = kRows) : TBenchForm("velquin-pass") {
    Form.MatchesSource.SetDataSet(nullptr);
    Form.SetDirEditText(Folder);
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> value(0, 255), delta(-3, 3);
    std::vector<TSignature> kept;
    std::vector<TGrayGrid> keptGray;
    TTable& sigs = Form.SigsTable;
    for (int i = 0; i < rows; ++i) {
      TSignature s;
      TGrayGrid gray;
      if (i % copyEvery == copyEvery - 1) {
        const std::size_t original = std::uniform_int_distribution<std::size_t>(0, kept.size() - 1)(random);
        s = kept[original];
        for (TRgb& c : s.Cells) {
          for (std::int32_t* v : {&c.R, &c.G, &c.B}) *v = std::clamp(*v + delta(random), 0, 255);
        }
        gray = keptGray[original];
        for (std::uint8_t& v : gray.Cells)
          v = static_cast<std::uint8_t>(std::clamp(v + delta(random), 0, 255));
      } else {
        for (TRgb& c : s.Cells) c = {value(random), value(random), value(random)};
        for (std::uint8_t& v : gray.Cells) v = static_cast<std::uint8_t>(value(random));
        kept.push_back(s);
        keptGray.push_back(gray);
      }
      sigs.Append();
      sigs.SetFieldValue("FileName", "picture" + std::to_string(i) + ".jpg");
      sigs.SetFieldValue("FilePath", Folder);
      sigs.SetFieldValue("FileDate", 46000.5);
      sigs.SetFieldValue("Signature", SignatureToText(s));
      sigs.SetFieldValue("Gray", GrayGridToText(gray));
      sigs.Post();
    }
    // The store keeps the pages it has read: read them all once, so the heap measured by a pass is the
    // pass's own and not the table's cache filling up.
    for (sigs.First(); !sigs.Eof(); sigs.Next()) benchmark::DoNotOptimize(sigs.FieldAsString("Signature"));
    sigs.SetIndexName("BySignature");
    for (sigs.First(); !sigs.Eof(); sigs.Next()) benchmark::DoNotOptimize(sigs.FieldAsString("Signature"));
    sigs.SetIndexName("");
  }
};

// The pass as the Auto command runs it: no closing dialog.
void RunPass(TSyntheticFolder& folder, bool turned = false, bool gray = false) {
  TMatchCommand(folder.Form, {folder.Form.FAppDir, true, turned, gray}).Run();
}

TSyntheticFolder& Folder(int copyEvery) {
  if (copyEvery == 1000) {
    static TSyntheticFolder few(1000);
    return few;
  }
  static TSyntheticFolder many(10);
  return many;
}

// Reads every field of every Sigs row, in primary order; returns the text bytes read.
std::size_t WalkReadingEveryField(TTable& sigs) {
  std::size_t bytes = 0;
  for (sigs.First(); !sigs.Eof(); sigs.Next()) {
    bytes += sigs.FieldAsString("FileName").size() + sigs.FieldAsString("FilePath").size() +
             sigs.FieldAsString("Signature").size();
    benchmark::DoNotOptimize(sigs.FieldAsDateTime("FileDate"));
  }
  return bytes;
}

void BM_SigsWalkReadingEveryField(benchmark::State& state) {
  TTable& sigs = Folder(1000).Form.SigsTable;
  for (auto _ : state) benchmark::DoNotOptimize(WalkReadingEveryField(sigs));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SigsWalkReadingEveryField)->Unit(benchmark::kMillisecond);

// The target's figure, pass_over_walk: the walk and the pass side by side.
void BM_MatchPassOverWalk(benchmark::State& state) {
  TSyntheticFolder& folder = Folder(1000);
  RunSideBySide(
      state, "walk", [&] { benchmark::DoNotOptimize(WalkReadingEveryField(folder.Form.SigsTable)); }, "pass",
      [&] { RunPass(folder); });
}
BENCHMARK(BM_MatchPassOverWalk)->Unit(benchmark::kMillisecond);

// The second target's figure, turned_gray_over_pass (and turned_gray_cpu_over_pass): the pass without
// and with both tests side by side. Arguments: Turned, Gray; the runs with one of them alone name it.
void BM_TurnedGrayPassOverPass(benchmark::State& state) {
  TSyntheticFolder& folder = Folder(1000);
  const bool turned = state.range(0) != 0, gray = state.range(1) != 0;
  const std::string subject = turned && gray ? "turned_gray" : turned ? "turned" : "gray";
  RunSideBySide(
      state, "pass", [&] { RunPass(folder); }, subject, [&] { RunPass(folder, turned, gray); });
  state.counters["pairs"] = folder.Form.MatchesTable.RecordCount();
}
BENCHMARK(BM_TurnedGrayPassOverPass)->Args({1, 1})->Args({1, 0})->Args({0, 1})->Unit(benchmark::kMillisecond);

// The pass's first step alone: reading Sigs into memory, ordering it and building the engine.
void BM_Snapshot(benchmark::State& state) {
  TTable& sigs = Folder(1000).Form.SigsTable;
  for (auto _ : state) {
    TSigsSnapshot snapshot(sigs);
    TMatchEngine engine(snapshot.TakeSignatures(), 10);
    benchmark::DoNotOptimize(snapshot.PrimaryOrder().data());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Snapshot)->Unit(benchmark::kMillisecond);

// The heap's peak above its level at the start while run runs.
template <typename TRun>
std::size_t HeapPeakDuring(TRun run) {
  const std::size_t start = gLive.load();
  gPeak = start;
  run();
  return gPeak.load() - start;
}

// Runs the pass on every iteration; reports its pairs and heap peak.
void BM_MatchPass(benchmark::State& state) {
  TSyntheticFolder& folder = Folder(static_cast<int>(state.range(0)));
  std::size_t peakAbove = 0;
  for (auto _ : state) {
    peakAbove = std::max(peakAbove, HeapPeakDuring([&] { RunPass(folder); }));
    if (!folder.Desktop.LastError.empty()) state.SkipWithError(folder.Desktop.LastError.c_str());
  }
  state.counters["pairs"] = folder.Form.MatchesTable.RecordCount();
  state.counters["peak_heap_MB"] = static_cast<double>(peakAbove) / (1 << 20);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_MatchPass)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatchPass)->Arg(10)->Iterations(2)->Unit(benchmark::kMillisecond);

// The pass over kRows and over ten times as many rows (one in a thousand a near copy), side by side:
// each iteration runs the smaller pass and then the larger, so both see the same machine. The
// target's figures are rows10x_over_rows (and rows10x_cpu_over_rows) and the larger pass's
// peak_heap_MB.
void BM_MatchPassRows(benchmark::State& state) {
  TSyntheticFolder& small = Folder(1000);
  static TSyntheticFolder large(1000, 10 * kRows);
  std::size_t peakAbove = 0;
  RunSideBySide(
      state, "rows", [&] { RunPass(small); }, "rows10x",
      [&] { peakAbove = std::max(peakAbove, HeapPeakDuring([&] { RunPass(large); })); });
  for (TSyntheticFolder* folder : {&small, &large}) {
    if (!folder->Desktop.LastError.empty()) state.SkipWithError(folder->Desktop.LastError.c_str());
  }
  state.counters["pairs10x"] = large.Form.MatchesTable.RecordCount();
  state.counters["peak_heap_MB"] = static_cast<double>(peakAbove) / (1 << 20);
}
BENCHMARK(BM_MatchPassRows)->Iterations(5)->Unit(benchmark::kMillisecond);

// The table's own share: the heap's peak while the same number of pairs as the pass with one row in
// ten a copy records is appended to an emptied Matches, without any search.
void BM_AppendPairsOnly(benchmark::State& state) {
  TSyntheticFolder& folder = Folder(10);
  TTable& matches = folder.Form.MatchesTable;
  std::size_t peakAbove = 0;
  for (auto _ : state) {
    matches.EmptyTable();
    peakAbove = std::max(
        peakAbove, HeapPeakDuring([&] {
          for (std::int32_t i = 0; i < state.range(0); ++i) {
            matches.Append();
            matches.SetFieldValue("MaxDiff", i % 11);
            matches.SetFieldValue("File1", folder.Folder + "picture" + std::to_string(i) + ".jpg");
            matches.SetFieldValue("File2", folder.Folder + "picture" + std::to_string(i + 500000) + ".jpg");
            matches.Post();
          }
        }));
  }
  state.counters["peak_heap_MB"] = static_cast<double>(peakAbove) / (1 << 20);
}
BENCHMARK(BM_AppendPairsOnly)->Arg(11062)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

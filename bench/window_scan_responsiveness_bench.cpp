// How often the window gets to answer input while the Signatures command scans 1,000 pictures:
// the longest stretch between two runs of the message pump (target: at most 200 ms).
//
//   VELQUIN_SCAN_PICTURES=folder velquin_window_scan_responsiveness_bench
//
// The pictures of the folder are copied round-robin into a fresh folder until it holds 1,000.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/form1.h"
#include "gui/main_window.h"
#include "gui/qt_desktop.h"

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

constexpr int kPictures = 1000;

// The window's desktop, timing each run of the message pump; no closing dialogs.
class TTimingDesktop : public velquin::TQtDesktop {
 public:
  void ProcessMessages() override {
    const TClock::time_point now = TClock::now();
    LongestGap = std::max(LongestGap, std::chrono::duration<double>(now - last_).count());
    last_ = now;
    ++Runs;
    TQtDesktop::ProcessMessages();
  }
  void ShowMessage(const std::string&) override {}
  void Start() {
    last_ = TClock::now();
    LongestGap = 0;
    Runs = 0;
  }
  // The stretch from the last run to the end of the command counts as well.
  void Finish() { ProcessMessages(); }

  double LongestGap = 0;
  long Runs = 0;

 private:
  TClock::time_point last_;
};

void BM_ScanOfAThousandPictures(benchmark::State& state) {
  const char* source = std::getenv("VELQUIN_SCAN_PICTURES");
  std::vector<fs::path> pictures;
  if (source != nullptr) {
    for (const auto& entry : fs::directory_iterator(source)) {
      std::string ext = entry.path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
      if (entry.is_regular_file() && (ext == ".jpg" || ext == ".bmp" || ext == ".gif"))
        pictures.push_back(entry.path());
    }
  }
  if (pictures.empty()) {
    state.SkipWithError("set VELQUIN_SCAN_PICTURES to a folder of pictures");
    return;
  }
  char pattern[] = "/tmp/velquin-scan-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const fs::path root = pattern;
  fs::create_directories(root / "app");
  fs::create_directories(root / "pics");
  for (int i = 0; i < kPictures; ++i) {
    const fs::path& from = pictures[static_cast<std::size_t>(i) % pictures.size()];
    fs::copy_file(from, root / "pics" / (std::to_string(i) + from.extension().string()));
  }

  TTimingDesktop desktop;
  velquin::TForm1 form(desktop, (root / "app").string() + "/");
  velquin::TMainWindow window(form);
  form.SetView(&window);
  form.FormCreate();
  window.ShowForm();
  window.show();
  QApplication::processEvents();
  form.SetDirEditText((root / "pics").string() + "/");
  double longest = 0;
  long runs = 0;
  for (auto _ : state) {
    if (!form.ForceCB()) form.SetForceCB(true);  // every picture is read again on each iteration
    desktop.Start();
    form.CompSigsButtonClick();
    desktop.Finish();
    longest = std::max(longest, desktop.LongestGap);
    runs += desktop.Runs;
  }
  state.counters["longest_gap_ms"] = benchmark::Counter(longest * 1000);
  state.counters["pump_runs"] =
      benchmark::Counter(static_cast<double>(runs) / static_cast<double>(state.iterations()));
  form.SetView(nullptr);
  std::error_code ignored;
  fs::remove_all(root, ignored);
}
BENCHMARK(BM_ScanOfAThousandPictures)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

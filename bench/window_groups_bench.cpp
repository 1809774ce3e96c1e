// The Groups tab of the window at scale, over tables filled directly (no scan) and a trash of its own
// (a temporary XDG_DATA_HOME):
//
// BM_TrashTheRestOfAThousandGroups: how often the window answers input while "Trash the rest of all
//   groups" moves 2,000 files of 1,000 groups (3,000 small pictures, each group a keeper and two copies
//   paired with it): the longest stretch between two turns of the event loop (target: at most 200 ms),
//   from the click to the end of the run. A turn is seen by a timer
//   that fires on every turn, so the stretch counts every loop that runs: the command's message runs,
//   the confirmation's own loop, anything in between. Opening the tab is timed too, the first time and
//   again with nothing changed.
// BM_ThumbnailStripOfTwentyPhotos: the wall time from selecting a group of 20 photos to the last of
//   their thumbnails shown (target: 1 s), decoded by the window's own worker threads. The photos are
//   read from VELQUIN_THUMBNAIL_PHOTOS (the first 20 JPEG files; bench/make_12mp_photos.sh makes
//   12-megapixel ones), copied into the Folder anew for every run, so no thumbnail is in memory yet.
//   Also the processor time all threads spent meanwhile, which a loaded machine does not stretch.
//
//   VELQUIN_THUMBNAIL_PHOTOS=folder velquin_window_groups_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "bench/bench_form.h"
#include "gui/groups_thumbnails.h"
#include "gui/groups_view.h"
#include "gui/main_window.h"
#include "gui/qt_desktop.h"
#include "platform/file_utils.h"
#include "signature/signature.h"

namespace {

namespace fs = std::filesystem;

// The window's desktop without closing dialogs: the message after a run is kept, not shown. Counts
// the runs of the message pump and the time spent in them.
class TBenchDesktop : public velquin::TQtDesktop {
 public:
  void ShowMessage(const std::string& text) override { LastMessage = text; }
  void ProcessMessages() override {
    QElapsedTimer inside;
    inside.start();
    TQtDesktop::ProcessMessages();
    ++PumpRuns;
    PumpSeconds += static_cast<double>(inside.nsecsElapsed()) / 1e9;
  }
  std::string LastMessage;
  long PumpRuns = 0;
  double PumpSeconds = 0;
};

// The window over a fresh Folder, AppDir and trash, all removed with the object.
class TWindowBench {
 public:
  TWindowBench() {
    char pattern[] = "/tmp/velquin-groups-window-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    root_ = pattern;
    fs::create_directories(root_ / "app");
    fs::create_directories(root_ / "data");
    fs::create_directories(root_ / "pics");
    ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    Folder = (root_ / "pics").string() + "/";
    form_ = std::make_unique<velquin::TForm1>(Desktop, (root_ / "app").string() + "/");
    window_ = std::make_unique<velquin::TMainWindow>(*form_);
    form_->SetView(window_.get());
    form_->FormCreate();
    window_->ShowForm();
    window_->show();
    QApplication::processEvents();
    form_->SetDirEditText(Folder);
  }
  ~TWindowBench() {
    form_->SetView(nullptr);
    window_.reset();
    form_.reset();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  TWindowBench(const TWindowBench&) = delete;
  TWindowBench& operator=(const TWindowBench&) = delete;

  velquin::TForm1& Form() { return *form_; }
  velquin::TMainWindow& Window() { return *window_; }

  // The Sigs row of a file of the Folder, dated as the file is, with one signature for all.
  void AddSigsRow(const std::string& name) {
    velquin::TSignature signature;
    signature.Cells.fill({120, 120, 120});
    velquin::TTable& sigs = form_->SigsTable;
    sigs.Append();
    sigs.SetFieldValue("FileName", name);
    sigs.SetFieldValue("FilePath", Folder);
    sigs.SetFieldValue("FileDate", velquin::GetFileDate(Folder + name));
    sigs.SetFieldValue("Signature", velquin::SignatureToText(signature));
    sigs.Post();
  }
  void AddPair(const std::string& name1, const std::string& name2) {
    velquin::TTable& matches = form_->MatchesTable;
    matches.Append();
    matches.SetFieldValue("MaxDiff", 0);
    matches.SetFieldValue("File1", Folder + name1);
    matches.SetFieldValue("File2", Folder + name2);
    matches.Post();
  }

  TBenchDesktop Desktop;
  std::string Folder;  // ends in '/'

 private:
  fs::path root_;
  std::unique_ptr<velquin::TForm1> form_;
  std::unique_ptr<velquin::TMainWindow> window_;
};

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The longest wait between two turns of the event loop while it is armed, in wall time and in the
// processor time of the window's thread: on a machine loaded by other processes the wall time of a
// stretch grows with the load, its processor time does not.
class TLoopWatch {
 public:
  TLoopWatch() {
    timer_.setInterval(0);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Turn(); });
  }
  void Start() {
    longest_ = 0;
    longestCpu_ = 0;
    since_.start();
    sinceCpu_ = ThreadCpuSeconds();
    timer_.start();
  }
  // Returns the longest wall time in milliseconds; LongestCpuMs() the longest processor time.
  double StopMs() {
    Turn();
    timer_.stop();
    return static_cast<double>(longest_) / 1e6;
  }
  double LongestCpuMs() const { return longestCpu_ * 1000; }

 private:
  void Turn() {
    const double cpu = ThreadCpuSeconds();
    longest_ = std::max(longest_, since_.nsecsElapsed());
    longestCpu_ = std::max(longestCpu_, cpu - sinceCpu_);
    since_.restart();
    sinceCpu_ = cpu;
  }
  QTimer timer_;
  QElapsedTimer since_;
  qint64 longest_ = 0;
  double sinceCpu_ = 0;
  double longestCpu_ = 0;
};

// Answers Yes in the dialog that is up, if any.
void AnswerYes() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr) return;
  if (auto* buttons = modal->findChild<QDialogButtonBox*>()) {
    if (QAbstractButton* yes = buttons->button(QDialogButtonBox::Yes)) {
      yes->click();
      return;
    }
  }
  if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->accept();
}

constexpr int kGroups = 1000;
constexpr int kGroupSize = 3;

void BM_TrashTheRestOfAThousandGroups(benchmark::State& state) {
  TWindowBench bench;
  for (int g = 0; g < kGroups; ++g) {
    const std::string group = std::to_string(1000 + g) + "_";
    for (int m = 0; m < kGroupSize; ++m) {
      // The first of each group is the largest file: the keeper.
      std::string bytes = velquin::SmallBmp(static_cast<std::uint8_t>(g), 80, 80);
      if (m == 0) bytes += std::string(16, '\0');
      std::ofstream(bench.Folder + group + std::to_string(m) + ".bmp", std::ios::binary) << bytes;
      bench.AddSigsRow(group + std::to_string(m) + ".bmp");
    }
    for (int m = 1; m < kGroupSize; ++m) bench.AddPair(group + "0.bmp", group + std::to_string(m) + ".bmp");
  }
  bench.Form().MatchesTable.First();
  QApplication::processEvents();

  velquin::TMainWindow& window = bench.Window();
  QTimer answer;
  answer.setInterval(20);
  QObject::connect(&answer, &QTimer::timeout, &AnswerYes);
  TLoopWatch watch;
  double openMs = 0, openCpuMs = 0;
  double reopenMs = 0, reopenCpuMs = 0;
  double trashMs = 0, trashCpuMs = 0;
  double trashSeconds = 0;
  for (auto _ : state) {
    watch.Start();
    window.ReviewTabs->setCurrentWidget(window.GroupsView);
    openMs = watch.StopMs();
    openCpuMs = watch.LongestCpuMs();
    if (window.GroupsView->GroupTree->topLevelItemCount() != kGroups) {
      state.SkipWithError("wrong groups");
      return;
    }
    // Shown again with nothing changed, as a scan's reading of the groups finds most of them.
    window.ReviewTabs->setCurrentWidget(window.Panel2);
    watch.Start();
    window.ReviewTabs->setCurrentWidget(window.GroupsView);
    reopenMs = watch.StopMs();
    reopenCpuMs = watch.LongestCpuMs();
    QElapsedTimer wall;
    wall.start();
    watch.Start();
    answer.start();
    bench.Desktop.PumpRuns = 0;
    bench.Desktop.PumpSeconds = 0;
    window.GroupsView->TrashAllButton->click();
    answer.stop();
    trashMs = watch.StopMs();
    trashCpuMs = watch.LongestCpuMs();
    trashSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
  }
  const auto left = std::count_if(fs::directory_iterator(bench.Folder), fs::directory_iterator(),
                                  [](const auto& entry) { return entry.path().extension() == ".bmp"; });
  if (left != kGroups) state.SkipWithError(("files left: " + std::to_string(left)).c_str());
  state.counters["open_longest_gap_ms"] = benchmark::Counter(openMs);
  state.counters["open_longest_gap_cpu_ms"] = benchmark::Counter(openCpuMs);
  state.counters["reopen_longest_gap_ms"] = benchmark::Counter(reopenMs);
  state.counters["reopen_longest_gap_cpu_ms"] = benchmark::Counter(reopenCpuMs);
  state.counters["trash_longest_gap_ms"] = benchmark::Counter(trashMs);
  state.counters["trash_longest_gap_cpu_ms"] = benchmark::Counter(trashCpuMs);
  state.counters["trash_s"] = benchmark::Counter(trashSeconds);
  state.counters["pump_calls"] = benchmark::Counter(static_cast<double>(bench.Desktop.PumpRuns));
  state.counters["pump_s"] = benchmark::Counter(bench.Desktop.PumpSeconds);
}
BENCHMARK(BM_TrashTheRestOfAThousandGroups)->Unit(benchmark::kSecond)->Iterations(1);

constexpr std::size_t kStripPhotos = 20;

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BM_ThumbnailStripOfTwentyPhotos(benchmark::State& state) {
  const char* source = std::getenv("VELQUIN_THUMBNAIL_PHOTOS");
  std::vector<fs::path> photos;
  if (source != nullptr) {
    for (const auto& entry : fs::directory_iterator(source)) {
      if (entry.is_regular_file() && entry.path().extension() == ".jpg") photos.push_back(entry.path());
    }
  }
  std::sort(photos.begin(), photos.end());
  if (photos.size() < kStripPhotos) {
    state.SkipWithError("set VELQUIN_THUMBNAIL_PHOTOS to a folder of 20 JPEG photos");
    return;
  }
  photos.resize(kStripPhotos);
  TWindowBench bench;
  velquin::TMainWindow& window = bench.Window();
  velquin::TGroupsThumbnails* strip = window.GroupsView->Thumbnails;
  QTreeWidget* tree = window.GroupsView->GroupTree;
  std::vector<double> seconds;
  // The processor time of all the threads while the strip filled: on a loaded machine the wall time
  // says more about the other processes than about the strip.
  std::vector<double> cpuSeconds;
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // Files never seen before: nothing of them is in memory.
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kStripPhotos; ++i) {
      names.push_back("run" + std::to_string(run) + "_" + photos[i].filename().string());
      fs::copy_file(photos[i], bench.Folder + names.back());
      bench.AddSigsRow(names.back());
      if (i > 0) bench.AddPair(names.front(), names.back());
    }
    const std::string prefix = "run" + std::to_string(run++) + "_";
    window.ReviewTabs->setCurrentWidget(window.Panel2);
    window.ReviewTabs->setCurrentWidget(window.GroupsView);
    tree->clearSelection();
    QApplication::processEvents();
    QTreeWidgetItem* group = nullptr;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      if (tree->topLevelItem(i)->child(0)->text(0).startsWith(QString::fromStdString(prefix)))
        group = tree->topLevelItem(i);
    }
    if (group == nullptr) {
      state.SkipWithError("no group");
      return;
    }
    state.ResumeTiming();

    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = ProcessCpuSeconds();
    group->setSelected(true);
    while (!strip->Complete()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    strip->repaint();
    seconds.push_back(static_cast<double>(wall.nsecsElapsed()) / 1e9);
    cpuSeconds.push_back(ProcessCpuSeconds() - cpuBefore);

    state.PauseTiming();
    if (strip->count() != static_cast<int>(kStripPhotos)) state.SkipWithError("wrong strip");
    for (int i = 0; i < strip->count(); ++i) {
      if (strip->item(i)->icon().isNull()) state.SkipWithError("a thumbnail is missing");
    }
    state.ResumeTiming();
  }
  std::sort(seconds.begin(), seconds.end());
  std::sort(cpuSeconds.begin(), cpuSeconds.end());
  state.counters["median_s"] = benchmark::Counter(seconds[seconds.size() / 2]);
  state.counters["max_s"] = benchmark::Counter(seconds.back());
  state.counters["median_cpu_s"] = benchmark::Counter(cpuSeconds[cpuSeconds.size() / 2]);
}
BENCHMARK(BM_ThumbnailStripOfTwentyPhotos)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

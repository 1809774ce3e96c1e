// The window's Auto against velquin-cli's on the same pictures: each repetition copies the folder twice
// (first run, no tables), runs `velquin-cli auto` on one copy and the window's Auto button on the
// other, in turns (the CLI first in even repetitions, the window first in odd ones), both decoding on
// every core. Targets: the window within 1.2 x of the CLI's wall time, and input answered at least
// every 200 ms while it runs.
//
//   VELQUIN_SCAN_PICTURES=folder velquin_window_auto_bench --benchmark_repetitions=5
//
// Counters per repetition (medians over the repetitions in the aggregates):
//   cli_s, window_s, window_over_cli   wall times of the two runs and their ratio;
//   longest_gap_ms                     the longest stretch between two runs of the window's message
//                                      pump, from the click to the end of the command;
//   pump_runs                          how often the pump ran;
//   stretches_over_200ms               how many stretches missed the target (each is printed on
//                                      stderr with where the command stood as it ended);
//   most_cpu_in_a_stretch_ms           the most processor time the window's thread used in one
//                                      stretch: on a loaded machine the stretches are longer by the
//                                      time the thread waits for a core;
//   load1                              the one-minute load average as the repetition began.
// A repetition whose two runs disagree on the pairs found, or that meets an error, fails.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include <QApplication>
#include <QEvent>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "cli/table_listing.h"
#include "gui/main_window.h"
#include "gui/qt_desktop.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time of the calling thread, in seconds.
double ThreadCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The window's desktop; a closing dialog or an error report is kept for the bench to look at.
class TBenchDesktop : public velquin::TQtDesktop {
 public:
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  void ShowError(const std::string& text) override { Errors.push_back(text); }
  std::vector<std::string> Messages;
  std::vector<std::string> Errors;
};

// Times the runs of the message pump: an event posted to itself is delivered once per run (Qt sends
// the events posted while it delivers at the next run), and posts the next one.
class TPumpProbe : public QObject {
 public:
  void Start() {
    last_ = TClock::now();
    lastCpu_ = ThreadCpuSeconds();
    MostCpu = 0;
    LongestGap = 0;
    Runs = 0;
    Over.clear();
    running_ = true;
    Post();
  }
  // The stretch from the last run to the end of the command counts as well.
  void Finish() {
    Record();
    running_ = false;
  }
  bool event(QEvent* event) override {
    if (event->type() != kProbe) return QObject::event(event);
    if (running_) {
      Record();
      ++Runs;
      Post();
    }
    return true;
  }

  static constexpr double kTarget = 0.2;

  double LongestGap = 0;
  double MostCpu = 0;
  long Runs = 0;
  // Where the command stands, for the stretches over kTarget.
  std::function<std::string()> Where;
  // A stretch over kTarget: how long, the window thread's processor time in it, and where the command
  // stood when it ended.
  struct TStretch {
    double Wall;
    double Cpu;
    std::string Where;
  };
  std::vector<TStretch> Over;

 private:
  static constexpr QEvent::Type kProbe = QEvent::User;
  void Post() { QCoreApplication::postEvent(this, new QEvent(kProbe)); }
  void Record() {
    const TClock::time_point now = TClock::now();
    const double gap = Seconds(now - last_);
    const double cpu = ThreadCpuSeconds();
    LongestGap = std::max(LongestGap, gap);
    MostCpu = std::max(MostCpu, cpu - lastCpu_);
    if (gap > kTarget) Over.push_back({gap, cpu - lastCpu_, Where ? Where() : std::string()});
    lastCpu_ = cpu;
    last_ = now;
  }

  TClock::time_point last_;
  double lastCpu_ = 0;
  bool running_ = false;
};

std::string MakeTempFolder(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return "";
  return pattern + "/";
}

// The pairs of the folder's Matches with the folder taken off both names, in index order.
std::vector<std::string> PairsOf(const std::string& folder) {
  std::vector<std::string> pairs;
  std::ostringstream ignored;
  velquin::ListTable(
      folder, velquin::TListedTable::kMatches,
      [&](velquin::TTable& matches) {
        for (std::int32_t row = 1; row <= matches.RecordCount(); ++row) {
          const auto name = [&](const char* field) {
            return velquin::FieldText(matches.ValueAt(row, field)).substr(folder.size());
          };
          const velquin::TFieldValue diff = matches.ValueAt(row, "MaxDiff");
          pairs.push_back(std::to_string(std::get<std::int32_t>(diff)) + " " + name("File1") + " " +
                          name("File2"));
        }
      },
      ignored);
  return pairs;
}

// velquin-cli auto on folder, its output in outputFile; the exit status, or -1 when it did not run.
int RunCli(const std::string& folder, const std::string& outputFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::string program = VELQUIN_CLI;
  std::string command = "auto";
  std::string folderArg = folder;
  char* argv[] = {program.data(), command.data(), folderArg.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

double LoadAverage() {
  double load = 0;
  std::ifstream("/proc/loadavg") >> load;
  return load;
}

std::vector<fs::path> SourcePictures() {
  std::vector<fs::path> pictures;
  const char* source = std::getenv("VELQUIN_SCAN_PICTURES");
  if (source == nullptr) return pictures;
  for (const auto& entry : fs::directory_iterator(source))
    if (entry.is_regular_file()) pictures.push_back(entry.path());
  return pictures;
}

void CopyPictures(const std::vector<fs::path>& pictures, const std::string& folder) {
  for (const fs::path& from : pictures) fs::copy_file(from, folder + from.filename().string());
}

// The window as a user first starts it: fresh AppDir, the folder chosen, then Auto clicked.
struct TWindowRun {
  double Wall = 0;
  double LongestGap = 0;
  double MostCpu = 0;
  long PumpRuns = 0;
  std::size_t Over = 0;
  std::vector<std::string> Errors;
};

TWindowRun RunWindow(const std::string& folder, const std::string& appDir) {
  TBenchDesktop desktop;
  TWindowRun run;
  {
    velquin::TForm1 form(desktop, appDir);
    velquin::TMainWindow window(form);
    desktop.SetMainWindow(&window);
    form.SetView(&window);
    form.FormCreate();
    window.ShowForm();
    window.show();
    QApplication::processEvents();
    form.SetDirEditText(folder);
    QApplication::processEvents();
    TPumpProbe probe;
    probe.Where = [&form] { return form.lTitle() + " | " + form.ProgressLine(); };
    probe.Start();
    const TClock::time_point start = TClock::now();
    window.AutoButton->click();
    run.Wall = Seconds(TClock::now() - start);
    probe.Finish();
    run.LongestGap = probe.LongestGap;
    run.PumpRuns = probe.Runs;
    run.MostCpu = probe.MostCpu;
    run.Over = probe.Over.size();
    for (const TPumpProbe::TStretch& stretch : probe.Over) {
      std::cerr << "stretch of " << static_cast<int>(stretch.Wall * 1000) << " ms ("
                << static_cast<int>(stretch.Cpu * 1000)
                << " ms of processor time), ending at: " << stretch.Where << '\n';
    }
    form.FormDestroy();
    form.SetView(nullptr);
  }
  run.Errors = desktop.Errors;
  return run;
}

void BM_WindowAutoBesideCli(benchmark::State& state) {
  static int repetition = 0;
  const std::vector<fs::path> pictures = SourcePictures();
  if (pictures.empty()) {
    state.SkipWithError("set VELQUIN_SCAN_PICTURES to a folder of pictures");
    return;
  }
  const std::string root = MakeTempFolder("velquin-window-auto");
  if (root.empty()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string cliFolder = root + "cli/";
  const std::string windowFolder = root + "window/";
  const std::string appDir = root + "app/";
  for (const std::string& folder : {cliFolder, windowFolder, appDir}) fs::create_directories(folder);
  CopyPictures(pictures, cliFolder);
  CopyPictures(pictures, windowFolder);
  const bool cliFirst = repetition++ % 2 == 0;
  const double load = LoadAverage();

  double cliWall = 0;
  int cliStatus = -1;
  TWindowRun window;
  for (auto _ : state) {
    const auto runCli = [&] {
      const TClock::time_point start = TClock::now();
      cliStatus = RunCli(cliFolder, root + "cli-output.txt");
      cliWall = Seconds(TClock::now() - start);
    };
    if (cliFirst) runCli();
    window = RunWindow(windowFolder, appDir);
    if (!cliFirst) runCli();
  }

  if (cliStatus != 0) {
    state.SkipWithError(("velquin-cli auto failed, see " + root + "cli-output.txt").c_str());
    return;
  }
  if (!window.Errors.empty()) {
    state.SkipWithError(("the window reported: " + window.Errors.front()).c_str());
    return;
  }
  const std::vector<std::string> cliPairs = PairsOf(cliFolder);
  const std::vector<std::string> windowPairs = PairsOf(windowFolder);
  if (cliPairs != windowPairs) {
    state.SkipWithError(("the window found " + std::to_string(windowPairs.size()) + " pairs, the CLI " +
                         std::to_string(cliPairs.size()) + " (folders kept in " + root + ")")
                            .c_str());
    return;
  }
  state.counters["cli_s"] = cliWall;
  state.counters["window_s"] = window.Wall;
  state.counters["window_over_cli"] = window.Wall / cliWall;
  state.counters["longest_gap_ms"] = window.LongestGap * 1000;
  state.counters["pump_runs"] = static_cast<double>(window.PumpRuns);
  state.counters["stretches_over_200ms"] = static_cast<double>(window.Over);
  state.counters["most_cpu_in_a_stretch_ms"] = window.MostCpu * 1000;
  state.counters["pairs"] = static_cast<double>(cliPairs.size());
  state.counters["load1"] = load;
  std::error_code ignored;
  fs::remove_all(root, ignored);
}
BENCHMARK(BM_WindowAutoBesideCli)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The window's run alone, to profile it: --benchmark_filter=WindowAutoAlone.
void BM_WindowAutoAlone(benchmark::State& state) {
  const std::vector<fs::path> pictures = SourcePictures();
  const std::string root = pictures.empty() ? "" : MakeTempFolder("velquin-window-auto");
  if (root.empty()) {
    state.SkipWithError("set VELQUIN_SCAN_PICTURES to a folder of pictures");
    return;
  }
  fs::create_directories(root + "window/");
  fs::create_directories(root + "app/");
  CopyPictures(pictures, root + "window/");
  TWindowRun window;
  for (auto _ : state) window = RunWindow(root + "window/", root + "app/");
  if (!window.Errors.empty()) state.SkipWithError(("the window reported: " + window.Errors.front()).c_str());
  state.counters["longest_gap_ms"] = window.LongestGap * 1000;
  state.counters["pump_runs"] = static_cast<double>(window.PumpRuns);
  state.counters["stretches_over_200ms"] = static_cast<double>(window.Over);
  state.counters["most_cpu_in_a_stretch_ms"] = window.MostCpu * 1000;
  std::error_code ignored;
  fs::remove_all(root, ignored);
}
BENCHMARK(BM_WindowAutoAlone)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

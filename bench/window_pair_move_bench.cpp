// Moving to the next pair in the window: the table moves, the form loads both pictures, and both
// picture panes of a 1920 x 1080 window repaint. Compared, in the same run, with djpeg decoding the
// same two files (target: at most 1.3 times djpeg's time).
//
//   VELQUIN_PAIR_JPEGS=first.jpg:second.jpg velquin_window_pair_move_bench
//
// The two pictures (12 MP each for the target) are copied twice into a fresh folder, so Matches
// holds two pairs: (first, first copy) and (second, second copy); each move shows one of them.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "app/form1.h"
#include "gui/main_window.h"
#include "gui/picture_widget.h"
#include "gui/qt_desktop.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The window's desktop without the closing dialogs of the scan and the pass.
class TQuietDesktop : public velquin::TQtDesktop {
 public:
  void ShowMessage(const std::string&) override {}
};

double RunDjpeg(const std::string& file) {
  const char* argv[] = {"djpeg", "-outfile", "/dev/null", file.c_str(), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (::posix_spawnp(&pid, "djpeg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct TPairFolder {
  explicit TPairFolder(const std::string& first, const std::string& second) {
    char pattern[] = "/tmp/velquin-pair-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary folder");
    root = pattern;
    fs::create_directories(root / "app");
    fs::create_directories(root / "pics");
    fs::copy_file(first, root / "pics" / "first.jpg");
    fs::copy_file(first, root / "pics" / "first copy.jpg");
    fs::copy_file(second, root / "pics" / "second.jpg");
    fs::copy_file(second, root / "pics" / "second copy.jpg");
  }
  ~TPairFolder() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  fs::path root;
};

void BM_MoveToNextPair(benchmark::State& state) {
  const char* files = std::getenv("VELQUIN_PAIR_JPEGS");
  const std::string pair = files ? files : "";
  const std::size_t colon = pair.find(':');
  if (colon == std::string::npos) {
    state.SkipWithError("set VELQUIN_PAIR_JPEGS=first.jpg:second.jpg");
    return;
  }
  TPairFolder folder(pair.substr(0, colon), pair.substr(colon + 1));
  TQuietDesktop desktop;
  velquin::TForm1 form(desktop, (folder.root / "app").string() + "/");
  velquin::TMainWindow window(form);
  form.SetView(&window);
  form.FormCreate();
  window.ShowForm();
  window.resize(1920, 1080);
  window.show();
  QApplication::processEvents();
  form.SetDirEditText((folder.root / "pics").string() + "/");
  form.CompSigsButtonClick();
  form.CompMatchesButtonClick();
  QApplication::processEvents();
  if (form.MatchesTable.RecordCount() != 2) {
    state.SkipWithError("the two pictures did not give two pairs");
    return;
  }

  double ours = 0;
  double djpeg = 0;
  for (auto _ : state) {
    const bool forward = form.MatchesTable.RecNo() == 1;
    const auto start = std::chrono::steady_clock::now();
    form.MatchesTable.MoveBy(forward ? 1 : -1);
    window.Im1->repaint();
    window.Im2->repaint();
    ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    state.PauseTiming();
    djpeg += RunDjpeg(form.MatchesTable.FieldAsString("File1")) +
             RunDjpeg(form.MatchesTable.FieldAsString("File2"));
    state.ResumeTiming();
  }
  state.counters["ours_ms"] = benchmark::Counter(ours * 1000 / static_cast<double>(state.iterations()));
  state.counters["djpeg_ms"] = benchmark::Counter(djpeg * 1000 / static_cast<double>(state.iterations()));
  state.counters["ratio"] = benchmark::Counter(ours / djpeg);
  form.SetView(nullptr);
}
BENCHMARK(BM_MoveToNextPair)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

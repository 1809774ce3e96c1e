// Folder listing speed: ForEachFolderEntry over 10,000 files against the same readdir walk with one
// stat per entry (what a listing that asks for every entry's kind by stat would cost). Both run on
// the same folder in the same process, so machine load affects both alike.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/file_utils.h"

namespace velquin {
namespace {

constexpr int kFiles = 10000;

// A temporary folder of kFiles empty pictures, removed at exit.
class TListingFolder {
 public:
  TListingFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velquin-listing-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    FPath = pattern + "/";
    for (int i = 0; i < kFiles; ++i) {
      const std::string name = FPath + "picture" + std::to_string(i) + ".jpg";
      const int fd = open(name.c_str(), O_WRONLY | O_CREAT, 0644);
      if (fd < 0) abort();
      close(fd);
    }
  }
  ~TListingFolder() { std::filesystem::remove_all(FPath); }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

const std::string& Folder() {
  static const TListingFolder folder;
  return folder.Path();
}

void BM_ForEachFolderEntry(benchmark::State& state) {
  const std::string& folder = Folder();
  for (auto _ : state) {
    int files = 0;
    ForEachFolderEntry(folder, [&](const std::string&, bool isDirectory) { files += !isDirectory; });
    if (files != kFiles) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(files);
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_ForEachFolderEntry)->Unit(benchmark::kMillisecond);

void BM_ReaddirWithStatPerEntry(benchmark::State& state) {
  const std::string& folder = Folder();
  for (auto _ : state) {
    int files = 0;
    DIR* dir = opendir(folder.c_str());
    while (const dirent* entry = readdir(dir)) {
      struct stat st {};
      if (fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) ++files;
    }
    closedir(dir);
    if (files != kFiles) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(files);
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_ReaddirWithStatPerEntry)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velquin

BENCHMARK_MAIN();

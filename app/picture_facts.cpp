#include "app/picture_facts.h"

#include <sys/stat.h>

#include "imaging/bitmap32.h"
#include "imaging/picture_loader.h"

namespace velquin {
namespace {

template <typename T>
TLarger Larger(const T& left, const T& right) {
  if (left > right) return TLarger::Left;
  if (right > left) return TLarger::Right;
  return TLarger::Neither;
}

}  // namespace

TPictureFacts ReadPictureFacts(const std::string& file, const TBitmap32& picture) {
  TPictureFacts facts;
  facts.File = file;
  facts.Width = picture.Width();
  facts.Height = picture.Height();
  facts.Format = std::string(PictureFormatName(file));
  struct stat status {};
  if (::stat(file.c_str(), &status) == 0) {
    facts.Bytes = static_cast<std::uint64_t>(status.st_size);
    facts.ModifiedMs =
        static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
  }
  return facts;
}

TFactsComparison CompareFacts(const TPictureFacts& left, const TPictureFacts& right) {
  if (left.Empty() || right.Empty()) return {};
  const auto pixels = [](const TPictureFacts& facts) {
    return static_cast<std::int64_t>(facts.Width) * facts.Height;
  };
  return {Larger(left.Bytes, right.Bytes), Larger(pixels(left), pixels(right)),
          Larger(left.ModifiedMs, right.ModifiedMs)};
}

}  // namespace velquin

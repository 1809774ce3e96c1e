#include "tablestore/data_session.h"

#include <sys/stat.h>

namespace velquin::store {

bool TDataSession::TStamp::operator==(const TStamp& other) const {
  auto same = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  return Device == other.Device && Inode == other.Inode && Size == other.Size &&
         same(Modified, other.Modified) && same(Changed, other.Changed);
}

TDataSession::TStamp TDataSession::StampOf(int fd) {
  struct stat st;
  TStamp stamp;
  if (::fstat(fd, &st) != 0) return stamp;
  stamp.Device = st.st_dev;
  stamp.Inode = st.st_ino;
  stamp.Size = st.st_size;
  stamp.Modified = st.st_mtim;
  stamp.Changed = st.st_ctim;
  return stamp;
}

TDataSession& TDataSession::Default() {
  static TDataSession session;
  return session;
}

TDataDirectory& TDataSession::Directory(const std::string& folder) {
  auto& slot = directories_[folder];
  if (!slot) slot = std::make_unique<TDataDirectory>(folder);
  return *slot;
}

void TDataSession::RememberCheck(const std::string& path, const TStamp& data, const TStamp& index,
                                 TDataFile::TSlotMap map) {
  checks_[path] = TCheck{data, index, std::move(map)};
}

std::optional<TDataFile::TSlotMap> TDataSession::TakeCheck(const std::string& path, const TStamp& data,
                                                           const TStamp& index) {
  auto it = checks_.find(path);
  if (it == checks_.end()) return std::nullopt;
  std::optional<TDataFile::TSlotMap> map;
  if (it->second.Data == data && it->second.Index == index) map = std::move(it->second.Map);
  checks_.erase(it);
  return map;
}

}  // namespace velquin::store

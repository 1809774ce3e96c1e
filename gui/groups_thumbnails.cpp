#include "gui/groups_thumbnails.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>

#include "imaging/thumbnail.h"

namespace velquin {
namespace {

constexpr int kCachedThumbnails = 2000;
constexpr int kKeyRole = Qt::UserRole;

// The file as it stands: a file written again gets a new key and a new thumbnail.
QString CacheKey(const std::string& file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) return {};
  return QString::fromStdString(file) + '|' + QString::number(st.st_size) + '|' +
         QString::number(st.st_mtim.tv_sec) + '.' + QString::number(st.st_mtim.tv_nsec);
}

QImage ToImage(const TThumbnail& thumbnail) {
  QImage image(thumbnail.Width, thumbnail.Height, QImage::Format_ARGB32);
  for (int y = 0; y < thumbnail.Height; ++y) {
    std::copy_n(thumbnail.Pixels.data() + static_cast<std::size_t>(y) * thumbnail.Width, thumbnail.Width,
                reinterpret_cast<std::uint32_t*>(image.scanLine(y)));
  }
  return image;
}

}  // namespace

TGroupsThumbnails::TGroupsThumbnails(QWidget* parent) : QListWidget(parent), cache_(kCachedThumbnails) {
  setViewMode(QListView::IconMode);
  setFlow(QListView::LeftToRight);
  setWrapping(false);
  setMovement(QListView::Static);
  setIconSize({kSide, kSide});
  setFixedHeight(kSide + 48);
  setSelectionMode(QAbstractItemView::SingleSelection);
}

TGroupsThumbnails::~TGroupsThumbnails() {
  pool_.clear();
  pool_.waitForDone();
}

void TGroupsThumbnails::ShowFiles(const std::vector<std::string>& files) {
  if (files == files_ && count() == static_cast<int>(files.size())) return;
  files_ = files;
  // Decodings of the group shown before are not wanted any more; running ones end unseen.
  pool_.clear();
  clear();
  waiting_.clear();
  for (const std::string& file : files) {
    const QString key = CacheKey(file);
    auto* item =
        new QListWidgetItem(QFileInfo(QFile::decodeName(QByteArray::fromStdString(file))).fileName(), this);
    item->setData(kKeyRole, key);
    item->setSizeHint({kSide + 16, kSide + 40});
    if (key.isEmpty()) continue;
    if (const QImage* cached = cache_.object(key)) {
      item->setIcon(QIcon(QPixmap::fromImage(*cached)));
      continue;
    }
    if (waiting_.contains(key)) continue;
    waiting_.insert(key);
    pool_.start([this, file, key] {
      QImage image;
      try {
        image = ToImage(LoadThumbnail(file, kSide));
      } catch (const std::exception&) {
        // An undecodable picture keeps its caption without a thumbnail.
      }
      QMetaObject::invokeMethod(
          this, [this, key, image] { Shown(key, image); }, Qt::QueuedConnection);
    });
  }
}

void TGroupsThumbnails::Shown(const QString& key, const QImage& image) {
  if (!image.isNull()) cache_.insert(key, new QImage(image));
  if (!waiting_.remove(key)) return;
  for (int i = 0; i < count(); ++i) {
    QListWidgetItem* shown = item(i);
    if (shown->data(kKeyRole).toString() == key && !image.isNull())
      shown->setIcon(QIcon(QPixmap::fromImage(image)));
  }
}

}  // namespace velquin

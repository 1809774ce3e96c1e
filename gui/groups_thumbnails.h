// TGroupsThumbnails: the strip of thumbnails of the selected group's members. Thumbnails are decoded on
// worker threads (LoadThumbnail) and kept in memory for the session, keyed by file, size and time, so
// going back to a group shows it at once; nothing is ever written to disk.
#pragma once

#include <QCache>
#include <QImage>
#include <QListWidget>
#include <QSet>
#include <QThreadPool>
#include <string>
#include <vector>

namespace velquin {

class TGroupsThumbnails : public QListWidget {
  Q_OBJECT

 public:
  static constexpr int kSide = 128;

  explicit TGroupsThumbnails(QWidget* parent = nullptr);
  ~TGroupsThumbnails() override;

  // Shows the files, in order, each captioned with its name; thumbnails not in memory yet appear as
  // they are decoded.
  void ShowFiles(const std::vector<std::string>& files);
  // Returns true iff every shown file has its thumbnail (or failed to decode).
  bool Complete() const { return waiting_.isEmpty(); }

 private:
  void Shown(const QString& key, const QImage& image);

  // The files shown, as last asked for: asking again for the same files changes nothing.
  std::vector<std::string> files_;
  QCache<QString, QImage> cache_;
  // The keys of the shown files whose decoding has not come back yet.
  QSet<QString> waiting_;
  // Last, so that it is destroyed first: its destructor waits for the decodings still running.
  QThreadPool pool_;
};

}  // namespace velquin

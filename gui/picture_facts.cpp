#include "gui/picture_facts.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

namespace velquin {
namespace {

// Sizes as the desktop's file manager writes them: decimal units, one decimal ("1.6 MB").
QString SizeText(const TPictureFacts& facts, const QLocale& locale) {
  return locale.formattedDataSize(static_cast<qint64>(facts.Bytes), 1, QLocale::DataSizeSIFormat);
}

QString PixelsText(const TPictureFacts& facts) {
  return QStringLiteral("%1 \u00D7 %2").arg(facts.Width).arg(facts.Height);
}

QString DateText(const TPictureFacts& facts, const QLocale& locale) {
  return locale.toString(QDateTime::fromMSecsSinceEpoch(facts.ModifiedMs), QLocale::ShortFormat);
}

}  // namespace

QString FactsText(const TPictureFacts& facts, const TFactsComparison& comparison, bool left,
                  const QLocale& locale) {
  if (facts.Empty()) return {};
  const TLarger mine = left ? TLarger::Left : TLarger::Right;
  const auto value = [&](const QString& text, TLarger larger) {
    return larger == mine ? QStringLiteral("<b>%1</b>").arg(text.toHtmlEscaped()) : text.toHtmlEscaped();
  };
  // The date on a line of its own: a pane half as wide as a small window holds each line.
  return QStringList{value(SizeText(facts, locale), comparison.Bytes),
                     value(PixelsText(facts), comparison.Pixels),
                     QString::fromStdString(facts.Format).toHtmlEscaped()}
             .join(QStringLiteral(" \u00B7 ")) +
         QStringLiteral("<br>") + value(DateText(facts, locale), comparison.Modified);
}

QString FactsToolTip(const TPictureFacts& facts, const QLocale& locale) {
  if (facts.Empty()) return {};
  return QStringList{QFile::decodeName(QByteArray::fromStdString(facts.File)),
                     QStringLiteral("%1 (%2 bytes)")
                         .arg(SizeText(facts, locale), locale.toString(static_cast<qulonglong>(facts.Bytes))),
                     PixelsText(facts) + QStringLiteral(" pixels"), QString::fromStdString(facts.Format),
                     DateText(facts, locale)}
      .join(QLatin1Char('\n'));
}

}  // namespace velquin

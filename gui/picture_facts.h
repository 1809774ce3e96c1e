// How the window writes the facts under a picture of the pair: the file size as the desktop writes
// sizes, the pixel size, the format and the date of the last change in the user's locale, each value
// that is larger than the other picture's in bold.
#pragma once

#include <QLocale>
#include <QString>

#include "app/picture_facts.h"

namespace velquin {

// Two lines of rich text, the date on the second; empty for empty facts. left: the facts are the left
// picture's.
QString FactsText(const TPictureFacts& facts, const TFactsComparison& comparison, bool left,
                  const QLocale& locale = QLocale());
// The same with the exact byte count and the full name, one value a line, as plain text.
QString FactsToolTip(const TPictureFacts& facts, const QLocale& locale = QLocale());

}  // namespace velquin

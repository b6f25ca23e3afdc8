#include "app/rate_text.h"

#include <QLocale>
#include <cmath>

namespace kestrava {

QString RateText(double value, bool raw) {
  if (std::isnan(value)) return QStringLiteral("-");
  QString text = QLocale().toString(value, 'f', 2);
  // No trailing zeros: "150/s", "2.5/s".
  const QChar point = QLocale().decimalPoint().front();
  if (text.contains(point)) {
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(point)) text.chop(1);
  }
  return raw ? text : text + QStringLiteral("/s");
}

}  // namespace kestrava

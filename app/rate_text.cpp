#include "app/rate_text.h"

#include <QLocale>
#include <cmath>

#include "ui/chart_geometry.h"

namespace kestrava {

namespace {

QString PlainText(double value, bool raw) {
  QString text = QLocale().toString(value, 'f', 2);
  // No trailing zeros: "150/s", "2.5/s".
  const QChar point = QLocale().decimalPoint().front();
  if (text.contains(point)) {
    while (text.endsWith(QLatin1Char('0'))) text.chop(1);
    if (text.endsWith(point)) text.chop(1);
  }
  return raw ? text : text + QStringLiteral("/s");
}

// The unit the value reads in, as the legend's; kNone where it reads as a plain number.
TQuantity Quantity(double value, bool raw, TColumnKind kind, TUnits units) {
  TQuantity quantity;
  quantity.Present = true;
  quantity.Value = value;
  const bool octets = kind == TColumnKind::kOctets;
  if (units == TUnits::kNone || (raw && kind == TColumnKind::kOther)) return quantity;
  if (octets && units == TUnits::kBits) {
    quantity.Unit = raw ? TUnit::kBits : TUnit::kBitRate;
    quantity.Value = value * 8;
  } else if (octets) {
    quantity.Unit = raw ? TUnit::kBytes : TUnit::kByteRate;
  } else if (kind == TColumnKind::kPackets) {
    quantity.Unit = raw ? TUnit::kPackets : TUnit::kPacketRate;
  } else {
    quantity.Unit = TUnit::kPerSecond;
  }
  return quantity;
}

}  // namespace

QString RateText(double value, bool raw, TColumnKind kind, TUnits units) {
  if (std::isnan(value)) return QStringLiteral("-");
  const TQuantity quantity = Quantity(value, raw, kind, units);
  if (quantity.Unit == TUnit::kNone) return PlainText(value, raw);
  return QString::fromStdString(UnitText(quantity, NumberStyle(QLocale())));
}

}  // namespace kestrava

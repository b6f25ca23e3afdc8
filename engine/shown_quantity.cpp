#include "engine/shown_quantity.h"

namespace kestrava {

namespace {

constexpr uint8_t kTimeTicks = 0x43;

TQuantity Of(TUnit unit, double value) {
  TQuantity quantity;
  quantity.Present = true;
  quantity.Unit = unit;
  quantity.Value = value;
  return quantity;
}

}  // namespace

TQuantity ShownQuantity(const TSlotReading& reading, const TShownColumn& column, TValueMode mode,
                        TUnits units) {
  const TCurrentValue shown = ShownValue(reading, mode);
  if (!shown.Present) return TQuantity();
  const double number = static_cast<double>(
      shown.Negative && shown.Whole ? -static_cast<long double>(shown.Magnitude) : shown.Number);
  if (mode == TValueMode::kUtilisation) {
    if (units == TUnits::kNone) return Of(TUnit::kNone, number);
    TQuantity share = Of(TUnit::kPercent, number);
    share.Of = reading.Speed;
    return share;
  }
  if (units == TUnits::kNone) return Of(TUnit::kNone, number);
  if (column.Formula) {
    // The formula's own value, which already says per what it counts.
    if (column.Unit.empty()) return Of(TUnit::kNone, number);
    TQuantity named = Of(TUnit::kNamed, number);
    named.Name = column.Unit;
    return named;
  }
  const bool octets = column.Kind == TColumnKind::kOctets;
  const bool bits = units == TUnits::kBits;
  if (mode == TValueMode::kRaw) {
    if (octets) return bits ? Of(TUnit::kBits, number * 8) : Of(TUnit::kBytes, number);
    if (column.Kind == TColumnKind::kPackets) return Of(TUnit::kPackets, number);
    if (reading.Value.Type() == kTimeTicks) return Of(TUnit::kSeconds, number / 100);
    return Of(TUnit::kNone, number);
  }
  // A change without a measured time since the poll before is no rate: the number alone.
  if (!reading.HasRate) return Of(TUnit::kNone, number);
  if (octets)
    return bits ? Of(TUnit::kBitRate, reading.Rate * 8) : Of(TUnit::kByteRate, reading.Rate);
  if (column.Kind == TColumnKind::kPackets) return Of(TUnit::kPacketRate, reading.Rate);
  return Of(TUnit::kPerSecond, reading.Rate);
}

void TQuantitySum::Add(const TQuantity& part) {
  if (!part.Present) return;
  if (!m_any) {
    m_any = true;
    m_sum = part;
    m_sum.Of = 0;
    return;
  }
  if (part.Unit != m_sum.Unit) m_mixed = true;
  m_sum.Value += part.Value;
}

TQuantity TQuantitySum::Sum() const {
  if (!m_any || m_mixed) return TQuantity();
  return m_sum;
}

}  // namespace kestrava

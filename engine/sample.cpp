#include "engine/sample.h"

#include <charconv>
#include <cstring>
#include <utility>

#include "shared/instance_helpers.h"
#include "shared/number_text.h"
#include "snmp/snmp_value.h"

namespace kestrava {

void TSample::KeepText(std::string_view text) {
  const std::string* kept = new std::string(text);
  std::memcpy(m_payload, &kept, sizeof kept);
}

void TSample::DeleteText() {
  delete &StoredText();
}

void TSample::SetNumber(long double number) {
  std::memcpy(m_payload, &number, kNumberBytes);
}

long double TSample::StoredNumber() const {
  long double number = 0;
  std::memcpy(&number, m_payload, kNumberBytes);
  return number;
}

const std::string& TSample::StoredText() const {
  const std::string* text = nullptr;
  std::memcpy(&text, m_payload, sizeof text);
  return *text;
}

TSample TSample::Null(TNullReason reason) {
  TSample sample;
  sample.m_reason = reason;
  return sample;
}

TSample TSample::Whole(uint64_t magnitude, bool negative) {
  TSample sample;
  sample.m_kind = kWholeKind;
  std::memcpy(sample.m_payload, &magnitude, sizeof magnitude);
  sample.m_negative = negative && magnitude != 0;  // never "-0"
  return sample;
}

TSample TSample::FromText(std::string_view text) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  uint64_t magnitude = 0;
  if (ParseWhole(digits, magnitude)) return Whole(magnitude, negative);
  long double number = 0;
  if (!ParseDecimal(text, number)) return Null(TNullReason::kNotANumber);
  TSample sample;
  // A formula writes its results with 15 significant digits: such a text is the number's.
  if (FormatGeneral15(number) == text) {
    sample.m_kind = kDecimalKind;
    sample.SetNumber(number);
  } else {
    sample.m_kind = kDecimalTextKind;
    sample.KeepText(text);
  }
  return sample;
}

TSample TSample::FromAnswer(const TSnmpValue& value) {
  TSample sample =
      value.IsNumber() ? Whole(value.Magnitude, value.Negative) : FromText(value.Bytes);
  sample.m_type = static_cast<uint8_t>(value.Tag);
  return sample;
}

bool TSample::FellSince(const TSample& previous) const {
  return IsWhole() && previous.IsWhole() && !m_negative && !previous.m_negative &&
         Magnitude() < previous.Magnitude();
}

TSample TSample::Unwrapped() const {
  TSample sample = *this;
  sample.m_wrappedOnce = true;
  return sample;
}

uint64_t TSample::Magnitude() const {
  uint64_t magnitude = 0;
  if (m_kind == kWholeKind) std::memcpy(&magnitude, m_payload, sizeof magnitude);
  return magnitude;
}

long double TSample::Number() const {
  switch (m_kind) {
    case kWholeKind: {
      const long double value = static_cast<long double>(Magnitude());  // exact: 64-bit mantissa
      return m_negative ? -value : value;
    }
    case kDecimalKind:
      return StoredNumber();
    case kDecimalTextKind: {
      long double value = 0;
      ParseDecimal(StoredText(), value);
      return value;
    }
    default:
      return 0;
  }
}

std::string TSample::Text() const {
  switch (m_kind) {
    case kWholeKind: {
      char digits[24];
      char* first = digits;
      if (m_negative) *first++ = '-';
      const auto end = std::to_chars(first, digits + sizeof digits, Magnitude()).ptr;
      return std::string(digits, end);
    }
    case kDecimalKind:
      return FormatGeneral15(StoredNumber());
    case kDecimalTextKind:
      return StoredText();
    default:
      return std::string(kNull);
  }
}

bool TSample::operator==(const TSample& other) const {
  if (m_kind != other.m_kind || m_reason != other.m_reason || m_type != other.m_type ||
      m_negative != other.m_negative || m_wrappedOnce != other.m_wrappedOnce)
    return false;
  switch (m_kind) {
    case kWholeKind:
      return Magnitude() == other.Magnitude();
    case kDecimalKind:
      return StoredNumber() == other.StoredNumber();
    case kDecimalTextKind:
      return StoredText() == other.StoredText();
    default:
      return true;
  }
}

bool TSample::WrappedSince(const TSample& previous) const {
  if (IsNull() || previous.IsNull()) return false;
  return Wrapped32(Number(), previous.Number());
}

TDelta Difference(const TSample& before, const TSample& after) {
  TDelta delta;
  if (before.IsNull() || after.IsNull()) return delta;
  delta.Present = true;
  if (before.IsWhole() && after.IsWhole()) {
    const auto signedValue = [](const TSample& s) {
      const __int128 magnitude = s.Magnitude();
      return s.Negative() ? -magnitude : magnitude;
    };
    // A counter that wrapped once since `before` went 2^32 further than its value says.
    const __int128 wrap = after.WrappedOnce() ? (__int128{1} << 32) : 0;
    const __int128 difference = signedValue(after) + wrap - signedValue(before);
    delta.Whole = true;
    delta.Negative = difference < 0;
    delta.Magnitude = static_cast<unsigned __int128>(difference < 0 ? -difference : difference);
    delta.Number = static_cast<long double>(difference);
    return delta;
  }
  delta.Number = after.Number() - before.Number();
  delta.Negative = delta.Number < 0;
  return delta;
}

TNullReason DifferenceNullReason(const TSample& before, const TSample& after) {
  if (after.IsNull()) return after.NullReason();
  if (!before.IsNull()) return TNullReason::kNoValue;
  return before.NullReason() == TNullReason::kRestarted ? TNullReason::kRestarted
                                                        : TNullReason::kNoPrevious;
}

std::string DeltaText(const TDelta& delta) {
  if (!delta.Present) return std::string(kNull);
  if (delta.Whole) {
    // Up to 2^65: the digits of a 128-bit number, written from the end.
    char digits[48];
    char* at = digits + sizeof digits;
    unsigned __int128 rest = delta.Magnitude;
    do {
      *--at = static_cast<char>('0' + static_cast<int>(rest % 10));
      rest /= 10;
    } while (rest != 0);
    std::string text = delta.Negative ? "-" : "";
    text.append(at, digits + sizeof digits);
    text += ".0";
    return text;
  }
  // Fixed point with one decimal at full width.
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, delta.Number, std::chars_format::fixed, 1);
  if (error != std::errc()) return std::string(kNull);
  return std::string(buffer, end);
}

}  // namespace kestrava

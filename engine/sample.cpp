#include "engine/sample.h"

#include <charconv>

#include "shared/instance_helpers.h"
#include "shared/number_text.h"

namespace kestrava {

TSample TSample::Null(TNullReason reason) {
  TSample sample;
  sample.m_reason = reason;
  return sample;
}

TSample TSample::Whole(uint64_t magnitude, bool negative) {
  TSample sample;
  sample.m_kind = kWholeKind;
  sample.m_magnitude = magnitude;
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
  sample.m_kind = kDecimalKind;
  sample.m_text.assign(text);
  return sample;
}

TSample TSample::FromAnswer(std::string_view text, int type) {
  TSample sample = FromText(text);
  sample.m_type = static_cast<uint8_t>(type);
  return sample;
}

bool TSample::FellSince(const TSample& previous) const {
  return IsWhole() && previous.IsWhole() && !m_negative && !previous.m_negative &&
         m_magnitude < previous.m_magnitude;
}

TSample TSample::Unwrapped() const {
  TSample sample = *this;
  sample.m_wrappedOnce = true;
  return sample;
}

long double TSample::Number() const {
  if (m_kind == kWholeKind) {
    const long double value = static_cast<long double>(m_magnitude);  // exact: 64-bit mantissa
    return m_negative ? -value : value;
  }
  long double value = 0;
  ParseDecimal(m_text, value);
  return value;
}

std::string TSample::Text() const {
  switch (m_kind) {
    case kWholeKind: {
      char digits[24];
      char* first = digits;
      if (m_negative) *first++ = '-';
      const auto end = std::to_chars(first, digits + sizeof digits, m_magnitude).ptr;
      return std::string(digits, end);
    }
    case kDecimalKind:
      return m_text;
    default:
      return std::string(kNull);
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

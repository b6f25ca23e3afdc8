#include "shared/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace kestrava {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

uint32_t LeadingDecimal32(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  return negative ? 0u - static_cast<uint32_t>(LeadingDigits64(text))
                  : static_cast<uint32_t>(LeadingDigits64(text));
}

uint64_t LeadingDigits64(std::string_view text) {
  uint64_t value = 0;
  for (size_t i = 0; i < text.size() && IsDigit(text[i]); ++i) value = value * 10 + (text[i] - '0');
  return value;
}

bool ParseWhole(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool ParseDecimal(std::string_view s, long double& value) {
  bool negative = false;
  std::string_view digits = s;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  // from_chars would take "inf", "nan" and a second sign; a number starts with a digit or ".".
  if (digits.empty() || !(IsDigit(digits[0]) || digits[0] == '.')) return false;
  // Counter values are plain integers: up to 19 digits fit 64 bits and convert exactly.
  if (digits.size() <= 19) {
    uint64_t n = 0;
    size_t i = 0;
    while (i < digits.size() && IsDigit(digits[i])) n = n * 10 + (digits[i++] - '0');
    if (i == digits.size()) {
      value = negative ? -static_cast<long double>(n) : static_cast<long double>(n);
      return true;
    }
  }
  long double parsed = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
  if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(parsed)) {
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

std::string FormatGeneral15(long double value) {
  if (value == 0) return "0";  // never "-0"
  // Whole numbers below 10^15 print all their digits in general format; counters and their sums
  // take this short path.
  if (std::fabs(value) < 1e15L && value == std::trunc(value)) {
    return std::to_string(static_cast<long long>(value));
  }
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  if (ec != std::errc()) return "Null";  // only a non-finite value gets here
  return std::string(buffer, end);
}

}  // namespace kestrava

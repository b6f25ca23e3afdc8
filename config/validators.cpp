#include "config/validators.h"

#include <charconv>

namespace kestrava {

std::optional<int> ParseDecimalInt(const std::string& text) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  // from_chars takes a leading "-" but not "+"; a lone sign is no number.
  if (first != last && *first == '+') {
    ++first;
    if (first == last || *first == '-') return std::nullopt;
  }
  int value = 0;
  const auto [end, error] = std::from_chars(first, last, value, 10);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

std::optional<int> InRange(const std::string& text, TIntRange range) {
  const std::optional<int> value = ParseDecimalInt(text);
  if (!value || *value < range.Low || *value > range.High) return std::nullopt;
  return value;
}

int CheckInterval(const std::string& text) {
  return InRange(text, kIntervalRange).value_or(kIntervalRange.Fallback);
}
int CheckMaxRows(const std::string& text) {
  return InRange(text, kMaxRowsRange).value_or(kMaxRowsRange.Fallback);
}
int CheckThreshold(const std::string& text) {
  return InRange(text, kThresholdRange).value_or(kThresholdRange.Fallback);
}

int CheckHistory(const std::string& text) {
  return InRange(text, kHistoryRange).value_or(kHistoryRange.Fallback);
}
int CheckPort(const std::string& text) {
  return InRange(text, kPortRange).value_or(kPortRange.Fallback);
}
int CheckWidth(const std::string& text) {
  return InRange(text, kWidthRange).value_or(kWidthRange.Fallback);
}
int CheckHeight(const std::string& text) {
  return InRange(text, kHeightRange).value_or(kHeightRange.Fallback);
}

std::optional<int> ParseVersion(const std::string& text) {
  if (text == "2c" || text == "2C") return 2;
  return InRange(text, TIntRange{1, 3, 1});
}
int CheckVersion(const std::string& text) {
  return ParseVersion(text).value_or(1);
}

}  // namespace kestrava

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

namespace {

int CheckRange(const std::string& text, int low, int high, int fallback) {
  const std::optional<int> value = ParseDecimalInt(text);
  if (!value || *value < low || *value > high) return fallback;
  return *value;
}

}  // namespace

int CheckInterval(const std::string& text) {
  return CheckRange(text, 1, 1000, 5);
}
int CheckMaxRows(const std::string& text) {
  return CheckRange(text, 1, 10000000, 100000);
}
int CheckPort(const std::string& text) {
  return CheckRange(text, 1, 65535, 161);
}
int CheckVersion(const std::string& text) {
  return CheckRange(text, 1, 3, 1);
}
int CheckWidth(const std::string& text) {
  return CheckRange(text, 300, 2000, 600);
}
int CheckHeight(const std::string& text) {
  return CheckRange(text, 200, 1600, 460);
}

}  // namespace kestrava

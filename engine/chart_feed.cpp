#include "engine/chart_feed.h"

#include <algorithm>
#include <charconv>
#include <exception>

#include "engine/responses.h"
#include "engine/session.h"

namespace kestrava {

namespace {
constexpr size_t kKeyDigits = 20;
}  // namespace

std::string SortKey(const std::string& value) {
  uint64_t counter = 0;
  if (ParseWhole(value, counter)) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, counter).ptr;
    const size_t length = static_cast<size_t>(end - digits);
    std::string key(kKeyDigits - length, '0');
    key.append(digits, end);
    key += ".00";
    return key;
  }
  long double number = 0;
  if (!ParseNumber(value, number)) return std::string();
  char buffer[128];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed, 2);
  if (error != std::errc()) return std::string();
  std::string text(buffer, end);
  const size_t dot = text.find('.');
  const size_t whole = dot == std::string::npos ? text.size() : dot;
  if (whole <= kKeyDigits) return std::string(kKeyDigits - whole, '0') + text;
  // Above every padded key ("~" follows the digits), then by the number of digits.
  return std::string("~") + static_cast<char>('A' + std::min<size_t>(whole, 60)) + text;
}

long double KeyValue(const std::string& key) {
  std::string digits = key;
  if (!digits.empty() && digits[0] == '~') digits = digits.substr(2);
  long double value = 0;
  ParseNumber(digits, value);
  return value;
}

void TSession::FeedChart() {
  m_sliceCandidates.clear();
  m_window.ClearSlices();
  const int last = std::min(m_config.LastSlot, static_cast<int>(m_histories.size()) - 1);
  const std::string mark = kCandidateMark;
  for (int s = 0; s <= last; ++s) {
    if (!IsSlotShown(s, m_config.TargetOids, m_config.TargetVisibility, m_config.Formulas))
      continue;
    const std::string v = SlotValue(4, s);
    if (v == "Null" || v.front() == '-') continue;  // negative values are left out
    std::string candidate = SortKey(v);
    if (candidate.empty()) continue;
    candidate += mark;
    candidate += std::to_string(s);
    m_sliceCandidates.push_back(std::move(candidate));
  }
  std::sort(m_sliceCandidates.begin(), m_sliceCandidates.end());
  const int c = static_cast<int>(m_sliceCandidates.size());
  int n = c + 1;
  if (m_config.SliceIndex > 0 &&
      m_config.SliceIndex < static_cast<int>(m_config.SliceItems.size())) {
    try {
      n = std::stoi(m_config.SliceItems[m_config.SliceIndex]);
    } catch (const std::exception&) {
      n = c + 1;
    }
  }
  if (c > 0) {
    long double other = 0;
    for (int k = c - 1; k >= 0; --k) {
      const std::string& candidate = m_sliceCandidates[k];
      const size_t at = candidate.find(mark);
      const long double value = KeyValue(candidate.substr(0, at));
      if (k > c - n) {
        const int slot = std::stoi(candidate.substr(at + mark.size()));
        const int rank = c - 1 - k;
        m_window.AddSlice(
            SliceLabel(slot, m_config.TargetOids, m_config.InstanceMode, m_config.HasLabelOid,
                       m_instanceDescrs, m_instances, m_config.Formulas),
            static_cast<double>(value), rank, PaletteColour);
      } else {
        other += value;
      }
    }
    if (other > 0) m_window.AddSlice("Other", static_cast<double>(other), n - 1, PaletteColour);
    m_window.SetInitializingVisible(false);
  }
  m_window.ChartFeedDone();
}

}  // namespace kestrava

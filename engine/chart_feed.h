#pragma once
// The slice order of the chart feed. A candidate is SortKey(value) + "!@#$%" + slot; the sorted
// list of candidates is in value order, and equal values in slot text order.
// Thread: any; pure functions.

#include <string>

namespace kestrava {

inline constexpr const char* kCandidateMark = "!@#$%";

// The value as fixed-point text with two decimals, its whole part padded with zeros to 20
// digits, so that text order is numeric order for every value that is not negative (20-digit
// 64-bit counters included). Wider values sort above all of those, by length then digits.
// "" for a text that is not a number.
std::string SortKey(const std::string& value);

// The value a key stands for (at most two decimals).
long double KeyValue(const std::string& key);

}  // namespace kestrava

#pragma once
// Numbers kept as text: parsing and formatting with "." as the decimal separator whatever the
// process locale is (the window's toolkit switches the C locale to the user's).
// Thread: any; the functions hold no state.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava {

// The text that stands for a missing or invalid value wherever values travel as text.
inline constexpr std::string_view kNull = "Null";

// Reads a whole number below 2^64 written as plain digits (no sign, no blanks); false for any
// other text. The quick path for counters, which are most of the values.
bool ParseWhole(std::string_view text, uint64_t& value);

// True when all of `s` is a decimal number (optional sign, digits with an optional "." fraction,
// optional exponent) that fits a long double; `value` then holds it. No spaces, "inf" or "nan".
bool ParseDecimal(std::string_view s, long double& value);

// The leading number of `text` as the SNMP component reads values and settings: an optional
// "-", then digits up to the first other character; text without digits reads as 0. Wraps to
// 32 bits (an INTEGER and a Counter32 are both written from it).
uint32_t LeadingDecimal32(std::string_view text);
// Digits up to the first other character, no sign (a Counter64); wraps to 64 bits.
uint64_t LeadingDigits64(std::string_view text);

// `value` in general format with up to 15 significant digits: 1500, 3.5, -5, 1e+20.
std::string FormatGeneral15(long double value);

}  // namespace kestrava

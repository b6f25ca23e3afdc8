#pragma once
// Numbers kept as text: parsing and formatting with "." as the decimal separator whatever the
// process locale is (the window's toolkit switches the C locale to the user's).
// Thread: any; the functions hold no state.

#include <string>
#include <string_view>

namespace kestrava {

// True when all of `s` is a decimal number (optional sign, digits with an optional "." fraction,
// optional exponent) that fits a long double; `value` then holds it. No spaces, "inf" or "nan".
bool ParseDecimal(std::string_view s, long double& value);

// `value` in general format with up to 15 significant digits: 1500, 3.5, -5, 1e+20.
std::string FormatGeneral15(long double value);

}  // namespace kestrava

#pragma once
// Value computation that needs no session: the current value of one slot's history and the
// decimal texts the engine keeps (always "." as separator, whatever the locale).
// Thread: any; pure functions.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {

// True when neither text is "Null".
bool BothPresent(const std::string& a, const std::string& b);

// Position 0 (oldest) to 4 (newest) of a five-entry window aligned at the newest entry: raw, the
// entry itself; delta, the entry minus the one before it with one decimal, or "Null".
std::string SlotValue(const std::vector<std::string>& history, int position, bool raw);

// Reads a decimal text ("." separator, optional sign); false when it is not wholly a number.
bool ParseNumber(const std::string& text, long double& value);

// Reads a whole number below 2^64 written as digits, optionally followed by ".0" or ".00" (how
// counters and their deltas are kept); false for any other text. The quick path of the above.
bool ParseWhole(std::string_view text, uint64_t& value);

// The error texts of the status line.
std::string ResponseErrorText(const std::string& description, int errorIndex, int errorStatus);
std::string ErrorCodeText(const std::string& description, int errorCode);

}  // namespace kestrava

#pragma once
// Validators of the configuration values: each takes decimal text, converts it as a whole and
// returns it when it lies in the value's range, otherwise the value's fallback. The
// configuration file and the command line pass their values through the same validator.
// Thread: any (pure functions).

#include <optional>
#include <string>

namespace kestrava {

// An optional sign followed by decimal digits, nothing else, within the range of int.
std::optional<int> ParseDecimalInt(const std::string& text);

int CheckInterval(const std::string& text);  // 1..1000, otherwise 5
int CheckPort(const std::string& text);      // 1..65535, otherwise 161
int CheckVersion(const std::string& text);   // 1..3, otherwise 1
int CheckWidth(const std::string& text);     // 300..2000, otherwise 600
int CheckHeight(const std::string& text);    // 200..1600, otherwise 460
int CheckMaxRows(const std::string& text);   // 1..10000000, otherwise 100000

}  // namespace kestrava

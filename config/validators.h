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

// The range of a numeric value and what replaces a value outside it.
struct TIntRange {
  int Low;
  int High;
  int Fallback;
};
inline constexpr TIntRange kIntervalRange{1, 1000, 5};
inline constexpr TIntRange kPortRange{1, 65535, 161};
inline constexpr TIntRange kWidthRange{300, 2000, 600};
inline constexpr TIntRange kHeightRange{200, 1600, 460};
inline constexpr TIntRange kMaxRowsRange{1, 10000000, 100000};
inline constexpr TIntRange kHistoryRange{1, 1440, 60};
inline constexpr TIntRange kThresholdRange{1, 100, 0};

// The value when the text is a number in the range; nothing otherwise.
std::optional<int> InRange(const std::string& text, TIntRange range);

int CheckInterval(const std::string& text);   // 1..1000, otherwise 5
int CheckPort(const std::string& text);       // 1..65535, otherwise 161
int CheckWidth(const std::string& text);      // 300..2000, otherwise 600
int CheckHeight(const std::string& text);     // 200..1600, otherwise 460
int CheckMaxRows(const std::string& text);    // 1..10000000, otherwise 100000
int CheckHistory(const std::string& text);    // 1..1440 minutes, otherwise 60
int CheckThreshold(const std::string& text);  // 1..100 percent, otherwise 0 (none)

// The SNMP version: "1", "2" and "3", and net-snmp's "2c" in either letter case; nothing for
// any other text. CheckVersion falls back to 1.
std::optional<int> ParseVersion(const std::string& text);
int CheckVersion(const std::string& text);

}  // namespace kestrava

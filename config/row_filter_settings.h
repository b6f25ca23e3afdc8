#pragma once
// The row filters and the theme as the file and the command line give them: the names of
// interface types (IANAifType) and their numbers, the check of a label pattern, and the theme's
// names. The file and the command line pass their values through the same functions.
// Thread: any (pure functions).

#include <optional>
#include <string>
#include <vector>

#include "config/config_rec.h"

namespace kestrava {

// The ifType number of a common interface type's name (any letter case), or nothing.
std::optional<int> IfTypeNumber(const std::string& name);

// A list of interface types, names or numbers (1..2147483647) separated by commas or blanks
// ("ethernetCsmacd, 161"). False with the reason in error for an empty list, an unknown name
// or a number out of range; types then stays as it was.
bool ParseIfTypes(const std::string& text, std::vector<int>& types, std::string& error);

// Why a label pattern cannot filter (a regular expression that does not compile), with the
// setting's name; "" when it can.
std::string LabelPatternFault(const std::string& name, const std::string& pattern);

// "light", "dark" or "system" in any letter case; nothing for any other text.
std::optional<TTheme> ParseTheme(const std::string& text);

}  // namespace kestrava

#pragma once
// OIDs as the program carries them: dotted decimal text without a leading dot
// ("1.3.6.1.2.1.2.2.1.2.3"), compared in the agent's (numeric) order arc by arc, without
// allocating. Every OID order of the program is this one (the walks of snmp/walk.h use it).
// Thread: any; plain functions.

#include <string_view>

namespace kestrava {

// Negative, 0 or positive as a comes before, equals or comes after b. Arcs are decimal without
// leading zeros, of any length: a longer arc is the greater.
int CompareOids(std::string_view a, std::string_view b);

// True when oid lies strictly under root ("1.2.3" is under "1.2", "1.20" is not).
bool IsUnderOid(std::string_view oid, std::string_view root);

}  // namespace kestrava

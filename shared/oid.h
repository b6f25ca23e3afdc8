#pragma once
// OIDs as the program carries them: dotted decimal text without a leading dot
// ("1.3.6.1.2.1.2.2.1.2.3"), compared in the agent's (numeric) order arc by arc, without
// allocating. One binding of a walk answer is judged here too, for every walk of the program
// (discovery, the refresh walk, and the walks of kestrava-snmp).
// Thread: any; plain functions.

#include <string_view>

namespace kestrava {

// Negative, 0 or positive as a comes before, equals or comes after b. Arcs are decimal without
// leading zeros, of any length: a longer arc is the greater.
int CompareOids(std::string_view a, std::string_view b);

// True when oid lies strictly under root ("1.2.3" is under "1.2", "1.20" is not).
bool IsUnderOid(std::string_view oid, std::string_view root);

// What one binding of an answer to a walk step means: a row of the walk, a binding outside the
// walked subtree, the root itself counting as inside as net-snmp counts it (the walk is over),
// the agent's exception in the subtree (noSuchObject,
// noSuchInstance, endOfMibView: the walk is over there), or an OID that does not come after
// the one it must follow (the agent would keep the walk going for ever).
enum class TWalkBinding { kRow, kOutside, kException, kNotIncreasing };
TWalkBinding JudgeWalkBinding(std::string_view root, std::string_view after, std::string_view oid,
                              int type);

}  // namespace kestrava

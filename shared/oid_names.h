#pragma once
// The OID name table: maps dotted numeric OIDs (no leading dot) to readable names. It starts with
// the 210 names of the management tree down to "enterprises" and of MIB-II, and receives the
// display names of the configured targets at load time. Keys compare exactly, case-sensitive.
// Thread: one process-wide table, filled, changed and read on the window's thread only; no lock.

#include <string>
#include <vector>

namespace kestrava {

struct TOIDRec {
  std::string Oid, Name;
};

// Empties the table and inserts the built-in rows in their fixed order.
void FillOidNames();

// Replaces the name of an existing `oid`, or appends a new row at the end.
void RegisterOidName(const std::string& oid, const std::string& name);

// The name registered for exactly `oid`, or "" when there is none.
std::string OidToName(const std::string& oid);

// The name of the longest registered prefix of `oid` (at a "." boundary) followed by the rest of
// `oid`: "ifInOctets.3". Without a registered prefix only the rest from the first "." remains.
std::string OidToSymbol(const std::string& oid);

// Releases every row; the table is empty afterwards.
void FreeOidNames();

// The number of rows in the table.
int OidNameCount();

// A copy of the rows in table order.
std::vector<TOIDRec> OidNameRows();

}  // namespace kestrava

#pragma once
// Values with their units, as the legend and the marks show them: rates in bit/s (or B/s) with
// SI prefixes (k = 1000: "812 kbit/s", "1.25 Gbit/s"), packets as "pkt/s", other counters as
// "/s", shares of a link as "73.2 % of 1 Gbit/s". Three significant digits are enough to read
// a live chart; the ranking and the CSV keep every digit elsewhere. Which columns count octets
// or packets is decided here, in one place, from the column's OID and the OID name table.
// Thread: any; pure functions.

#include <string>
#include <string_view>

#include "shared/oid_names.h"

namespace kestrava {

// The user's choice: octet counters in bits (the default) or bytes, or no units at all (the
// numbers alone, as the chart showed them before units).
enum class TUnits { kBits, kBytes, kNone };
// "bits", "bytes", "none" in any letter case; false for anything else (units unchanged).
bool ParseUnits(std::string_view text, TUnits& units);
const char* UnitsName(TUnits units);

// What a column counts.
enum class TColumnKind { kOther, kOctets, kPackets };
// The interface octet and packet columns by their OIDs; any other column by its name in the
// table: a name ending in "Octets" counts octets, one with "Pkts" in it packets. oid may carry
// an instance ("1.3.6.1.2.1.2.2.1.10.3").
TColumnKind ColumnKindOf(const std::string& oid, const TOidNames& names);

// The unit a number is shown in.
enum class TUnit {
  kNone,        // the number alone
  kBitRate,     // bits per second
  kByteRate,    // bytes per second
  kPacketRate,  // packets per second
  kPerSecond,   // anything else per second
  kBits,
  kBytes,
  kPackets,
  kSeconds,  // a span of time, shown as days and a clock ("3 d 04:05:06")
  kPercent,  // a share, with what it is a share of (a speed in bits per second) where known
  kNamed,    // a unit the configuration names (Name), with SI prefixes: "1.25 Gbit/s"
};

struct TQuantity {
  bool Present = false;  // false: "Null"
  TUnit Unit = TUnit::kNone;
  double Value = 0;    // in the unit: bits per second for kBitRate, percent for kPercent
  double Of = 0;       // kPercent: the whole, bits per second; 0 none
  std::string Name{};  // kNamed: the unit
  bool operator==(const TQuantity&) const = default;
};

// How numbers are written: the window passes its locale's signs; the defaults are C's.
struct TNumberStyle {
  std::string DecimalPoint = ".";
  std::string Minus = "-";
};

// The quantity as text: "812 kbit/s", "-1.5 MB/s", "73.2 % of 1 Gbit/s", "Null".
std::string UnitText(const TQuantity& quantity, const TNumberStyle& style = {});

}  // namespace kestrava

#pragma once
// TSnmpValue: the value of one variable binding as the codec decoded it, kept typed. The
// numeric tags (INTEGER, Counter32, Gauge32, TimeTicks, UInteger32, Counter64) keep the exact
// magnitude and sign; every other tag keeps the bytes ObjValue gives (an OCTET STRING's octets,
// an OID or IpAddress in dotted text, empty for NULL, the exception's text). Text() is the
// ObjValue text, made only when asked for.
// Thread: any; a plain value.

#include <cstdint>
#include <string>

#include "snmp/codec.h"

namespace kestrava {

// True for the tags whose value is a whole number.
constexpr bool IsNumericTag(int tag) {
  return tag == kTagInteger || tag == kTagCounter32 || tag == kTagGauge32 || tag == kTagTimeTicks ||
         tag == kTagUInteger32 || tag == kTagCounter64;
}

struct TSnmpValue {
  int32_t Tag = kTagOctetString;
  uint64_t Magnitude = 0;  // numeric tags: the value without its sign
  bool Negative = false;   // an INTEGER below 0
  std::string Bytes;       // the other tags: the value's bytes

  static TSnmpValue Number(int32_t tag, uint64_t magnitude, bool negative = false);
  static TSnmpValue Octets(int32_t tag, std::string bytes);

  bool IsNumber() const { return IsNumericTag(Tag); }
  // The ObjValue text: the digits of a number ("-" first when negative), else the bytes.
  std::string Text() const;

  bool operator==(const TSnmpValue&) const = default;
};

}  // namespace kestrava

#include "snmp/snmp_value.h"

#include <charconv>
#include <utility>

namespace kestrava {

TSnmpValue TSnmpValue::Number(int32_t tag, uint64_t magnitude, bool negative) {
  TSnmpValue value;
  value.Tag = tag;
  value.Magnitude = magnitude;
  value.Negative = negative && magnitude != 0;
  return value;
}

TSnmpValue TSnmpValue::Octets(int32_t tag, std::string bytes) {
  TSnmpValue value;
  value.Tag = tag;
  value.Bytes = std::move(bytes);
  return value;
}

std::string TSnmpValue::Text() const {
  if (!IsNumber()) return Bytes;
  char digits[24];
  char* first = digits;
  if (Negative) *first++ = '-';
  char* end = std::to_chars(first, digits + sizeof digits, Magnitude).ptr;
  return std::string(digits, static_cast<size_t>(end - digits));
}

}  // namespace kestrava

#include "snmp/tool/value_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kestrava {

namespace {

std::string TimeticksText(const std::string& value) {
  const uint64_t ticks = std::strtoull(value.c_str(), nullptr, 10);
  const uint64_t centis = ticks % 100;
  const uint64_t seconds = (ticks / 100) % 60;
  const uint64_t minutes = (ticks / 6000) % 60;
  const uint64_t hours = (ticks / 360000) % 24;
  const uint64_t days = ticks / 8640000;
  char text[96];
  if (days == 0) {
    std::snprintf(text, sizeof text, "(%llu) %llu:%02llu:%02llu.%02llu",
                  static_cast<unsigned long long>(ticks), static_cast<unsigned long long>(hours),
                  static_cast<unsigned long long>(minutes),
                  static_cast<unsigned long long>(seconds),
                  static_cast<unsigned long long>(centis));
  } else {
    std::snprintf(text, sizeof text, "(%llu) %llu day%s, %llu:%02llu:%02llu.%02llu",
                  static_cast<unsigned long long>(ticks), static_cast<unsigned long long>(days),
                  days == 1 ? "" : "s", static_cast<unsigned long long>(hours),
                  static_cast<unsigned long long>(minutes),
                  static_cast<unsigned long long>(seconds),
                  static_cast<unsigned long long>(centis));
  }
  return text;
}

// net-snmp shows an octet string as text only when every octet is printable ASCII or white
// space (tab, line feed, vertical tab, form feed, carriage return); any other octet, a NUL at
// the end included, makes it hex.
bool IsText(const std::string& value) {
  for (const char octet : value) {
    const unsigned char c = static_cast<unsigned char>(octet);
    if ((c < 0x20 || c > 0x7E) && (c < '\t' || c > '\r')) return false;
  }
  return true;
}

std::string HexText(const std::string& value) {
  std::string text;
  char octet[4];
  for (size_t i = 0; i < value.size(); ++i) {
    std::snprintf(octet, sizeof octet, "%02X ", static_cast<unsigned char>(value[i]));
    text += octet;
    if (i % 16 == 15 && i + 1 < value.size()) text += "\n";
  }
  return text;
}

// The value of an opaque-wrapped number (tag 0x9F, the subtype, a one-octet length and the
// content filling the rest), as net-snmp shows it; empty when the value is no such number.
std::string OpaqueNumberText(const std::string& value) {
  if (value.size() < 3 || static_cast<unsigned char>(value[0]) != 0x9F) return {};
  const unsigned char subtype = static_cast<unsigned char>(value[1]);
  const size_t length = static_cast<unsigned char>(value[2]);
  if (length != value.size() - 3) return {};
  const auto octet = [&](size_t i) { return static_cast<unsigned char>(value[3 + i]); };
  uint64_t bits = 0;
  for (size_t i = 0; i < length && i < 9; ++i) bits = bits << 8 | octet(i);
  char text[400];
  switch (subtype) {
    case 0x78:    // float, 4 octets, IEEE 754 big-endian
    case 0x79: {  // double, 8 octets; net-snmp calls both "Float"
      if (length != (subtype == 0x78 ? 4u : 8u)) return {};
      double number = 0;
      if (subtype == 0x78) {
        const uint32_t bits32 = static_cast<uint32_t>(bits);
        float f = 0;
        std::memcpy(&f, &bits32, sizeof f);
        number = f;
      } else {
        std::memcpy(&number, &bits, sizeof number);
      }
      std::snprintf(text, sizeof text, "Opaque: Float: %f", number);
      return text;
    }
    case 0x76:  // Counter64
    case 0x7B:  // UInt64; a leading zero octet may make it 9 octets long
      if (length > 9 || (length == 9 && octet(0) != 0)) return {};
      std::snprintf(text, sizeof text, "Opaque: %s: %llu", subtype == 0x76 ? "Counter64" : "UInt64",
                    static_cast<unsigned long long>(bits));
      return text;
    case 0x7A: {  // Int64, sign-extended from its first octet
      if (length > 8) return {};
      if (length > 0 && length < 8 && (octet(0) & 0x80)) bits |= ~uint64_t{0} << (8 * length);
      std::snprintf(text, sizeof text, "Opaque: Int64: %lld", static_cast<long long>(bits));
      return text;
    }
    default:
      return {};
  }
}

std::string QuotedText(const std::string& value) {
  std::string text = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') text += '\\';
    text += c;
  }
  return text + "\"";
}

}  // namespace

std::string FormatBinding(const std::string& oid, int type, const std::string& value) {
  std::string line = "." + oid + " = ";
  switch (type) {
    case 0x02:
      return line + "INTEGER: " + value;
    case 0x04:
      if (value.empty()) return line + "\"\"";
      if (IsText(value)) return line + "STRING: " + QuotedText(value);
      return line + "Hex-STRING: " + HexText(value);
    case 0x05:
      return line + "NULL";
    case 0x06:
      return line + "OID: ." + value;
    case 0x40:
      return line + "IpAddress: " + value;
    case 0x41:
      return line + "Counter32: " + value;
    case 0x42:
      return line + "Gauge32: " + value;
    case 0x43:
      return line + "Timeticks: " + TimeticksText(value);
    case 0x44:
      if (std::string number = OpaqueNumberText(value); !number.empty()) return line + number;
      return line + "OPAQUE: " + HexText(value);
    case 0x46:
      return line + "Counter64: " + value;
    case 0x47:
      return line + "UInteger32: " + value;
    case 0x80:
      return line + "No Such Object available on this agent at this OID";
    case 0x81:
      return line + "No Such Instance currently exists at this OID";
    case 0x82:
      return line + "No more variables left in this MIB View (It is past the end of the MIB tree)";
    default:
      return line + "Wrong Type (" + std::to_string(type) + "): " + HexText(value);
  }
}

}  // namespace kestrava

#include "snmp/tool/value_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

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

bool IsPrintable(const std::string& value) {
  for (size_t i = 0; i < value.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    // A single NUL at the very end is the C string terminator some agents send along.
    if (c == 0 && i + 1 == value.size()) continue;
    if (!(c >= 0x20 && c < 0x7F) && c != '\t' && c != '\n' && c != '\r') return false;
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

std::string QuotedText(const std::string& value) {
  std::string text = "\"";
  for (char c : value) {
    if (c == '\0') break;
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
      if (IsPrintable(value)) return line + "STRING: " + QuotedText(value);
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

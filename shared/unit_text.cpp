#include "shared/unit_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace kestrava {

namespace {

struct TKnownColumn {
  std::string_view Oid;
  TColumnKind Kind;
};

// The interface counters of IF-MIB, also where the session names them otherwise.
constexpr std::array<TKnownColumn, 18> kKnownColumns = {{
    {"1.3.6.1.2.1.2.2.1.10", TColumnKind::kOctets},      // ifInOctets
    {"1.3.6.1.2.1.2.2.1.16", TColumnKind::kOctets},      // ifOutOctets
    {"1.3.6.1.2.1.31.1.1.1.6", TColumnKind::kOctets},    // ifHCInOctets
    {"1.3.6.1.2.1.31.1.1.1.10", TColumnKind::kOctets},   // ifHCOutOctets
    {"1.3.6.1.2.1.2.2.1.11", TColumnKind::kPackets},     // ifInUcastPkts
    {"1.3.6.1.2.1.2.2.1.12", TColumnKind::kPackets},     // ifInNUcastPkts
    {"1.3.6.1.2.1.2.2.1.17", TColumnKind::kPackets},     // ifOutUcastPkts
    {"1.3.6.1.2.1.2.2.1.18", TColumnKind::kPackets},     // ifOutNUcastPkts
    {"1.3.6.1.2.1.31.1.1.1.2", TColumnKind::kPackets},   // ifInMulticastPkts
    {"1.3.6.1.2.1.31.1.1.1.3", TColumnKind::kPackets},   // ifInBroadcastPkts
    {"1.3.6.1.2.1.31.1.1.1.4", TColumnKind::kPackets},   // ifOutMulticastPkts
    {"1.3.6.1.2.1.31.1.1.1.5", TColumnKind::kPackets},   // ifOutBroadcastPkts
    {"1.3.6.1.2.1.31.1.1.1.7", TColumnKind::kPackets},   // ifHCInUcastPkts
    {"1.3.6.1.2.1.31.1.1.1.8", TColumnKind::kPackets},   // ifHCInMulticastPkts
    {"1.3.6.1.2.1.31.1.1.1.9", TColumnKind::kPackets},   // ifHCInBroadcastPkts
    {"1.3.6.1.2.1.31.1.1.1.11", TColumnKind::kPackets},  // ifHCOutUcastPkts
    {"1.3.6.1.2.1.31.1.1.1.12", TColumnKind::kPackets},  // ifHCOutMulticastPkts
    {"1.3.6.1.2.1.31.1.1.1.13", TColumnKind::kPackets},  // ifHCOutBroadcastPkts
}};

constexpr std::array<const char*, 9> kPrefixes = {"", "k", "M", "G", "T", "P", "E", "Z", "Y"};

bool InColumn(std::string_view oid, std::string_view column) {
  return oid.size() >= column.size() && oid.compare(0, column.size(), column) == 0 &&
         (oid.size() == column.size() || oid[column.size()] == '.');
}

// A number below 1000 (after its prefix) to three significant digits, without trailing zeros.
std::string Significant(double magnitude, const TNumberStyle& style) {
  const int decimals = magnitude < 9.995 ? 2 : magnitude < 99.95 ? 1 : 0;
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::fixed, decimals);
  std::string text(buffer, error == std::errc() ? end : buffer);
  const size_t point = text.find('.');
  if (point == std::string::npos) return text;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') {
    text.pop_back();
    return text;
  }
  return text.substr(0, point) + style.DecimalPoint + text.substr(point + 1);
}

// value with an SI prefix before unit: "812 kbit/s".
std::string Prefixed(double value, const char* unit, const TNumberStyle& style) {
  if (!std::isfinite(value))
    return std::string(std::isnan(value) ? "NaN " : value < 0 ? "-inf " : "inf ") + unit;
  double magnitude = std::fabs(value);
  size_t prefix = 0;
  while (magnitude >= 999.5 && prefix + 1 < kPrefixes.size()) {
    magnitude /= 1000;
    ++prefix;
  }
  std::string text = Significant(magnitude, style);
  if (value < 0 && text != "0") text.insert(0, style.Minus);
  text += ' ';
  text += kPrefixes[prefix];
  text += unit;
  return text;
}

std::string TwoDigits(int64_t value) {
  return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

// "04:05:06", with whole days before it: "3 d 04:05:06".
std::string Duration(double seconds, const TNumberStyle& style) {
  if (!std::isfinite(seconds) || std::fabs(seconds) >= 9e18) return Prefixed(seconds, "s", style);
  int64_t whole = std::llround(std::fabs(seconds));
  std::string text = seconds < 0 && whole > 0 ? style.Minus : std::string();
  const int64_t days = whole / 86400;
  whole %= 86400;
  if (days > 0) text += std::to_string(days) + " d ";
  return text + TwoDigits(whole / 3600) + ':' + TwoDigits(whole / 60 % 60) + ':' +
         TwoDigits(whole % 60);
}

std::string Plain(double value, const TNumberStyle& style) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e15) return Prefixed(value, "", style);
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed, 3);
  std::string text(buffer, error == std::errc() ? end : buffer);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  if (const size_t point = text.find('.'); point != std::string::npos)
    text.replace(point, 1, style.DecimalPoint);
  if (value < 0 && text != "0") text.insert(0, style.Minus);
  return text;
}

}  // namespace

bool ParseUnits(std::string_view text, TUnits& units) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "bits") {
    units = TUnits::kBits;
  } else if (lower == "bytes") {
    units = TUnits::kBytes;
  } else if (lower == "none") {
    units = TUnits::kNone;
  } else {
    return false;
  }
  return true;
}

const char* UnitsName(TUnits units) {
  switch (units) {
    case TUnits::kBytes:
      return "bytes";
    case TUnits::kNone:
      return "none";
    default:
      return "bits";
  }
}

TColumnKind ColumnKindOf(const std::string& oid, const TOidNames& names) {
  for (const TKnownColumn& known : kKnownColumns) {
    if (InColumn(oid, known.Oid)) return known.Kind;
  }
  const std::string symbol = names.Symbol(oid);
  const std::string_view name = std::string_view(symbol).substr(0, symbol.find('.'));
  constexpr std::string_view kOctets = "Octets";
  if (name.size() > kOctets.size() && name.substr(name.size() - kOctets.size()) == kOctets)
    return TColumnKind::kOctets;
  if (name.find("Pkts") != std::string_view::npos) return TColumnKind::kPackets;
  return TColumnKind::kOther;
}

std::string UnitText(const TQuantity& quantity, const TNumberStyle& style) {
  if (!quantity.Present) return "Null";
  const double value = quantity.Value;
  switch (quantity.Unit) {
    case TUnit::kBitRate:
      return Prefixed(value, "bit/s", style);
    case TUnit::kByteRate:
      return Prefixed(value, "B/s", style);
    case TUnit::kPacketRate:
      return Prefixed(value, "pkt/s", style);
    case TUnit::kPerSecond:
      return Prefixed(value, "/s", style);
    case TUnit::kBits:
      return Prefixed(value, "bit", style);
    case TUnit::kBytes:
      return Prefixed(value, "B", style);
    case TUnit::kPackets:
      return Prefixed(value, "pkt", style);
    case TUnit::kSeconds:
      return Duration(value, style);
    case TUnit::kPercent: {
      std::string text = Plain(std::round(value * 10) / 10, style) + " %";
      if (quantity.Of > 0) text += " of " + Prefixed(quantity.Of, "bit/s", style);
      return text;
    }
    case TUnit::kNamed:
      return Prefixed(value, quantity.Name.c_str(), style);
    case TUnit::kNone:
      break;
  }
  return Plain(value, style);
}

}  // namespace kestrava

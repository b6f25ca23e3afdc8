#pragma once
// Small helpers for the codec tests: hex text to bytes and back.

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "snmp/byte_buffer.h"

namespace kestrava::testing {

// "30 20 02 01" (blanks optional) to bytes.
inline std::vector<uint8_t> Hex(std::string_view text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    const int nibble = std::isdigit(static_cast<unsigned char>(c))
                           ? c - '0'
                           : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  return bytes;
}

inline std::string ToHex(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    if (i > 0) text += ' ';
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 15];
  }
  return text;
}
inline std::string ToHex(const TByteBuffer& buffer) {
  return ToHex(buffer.data(), buffer.size());
}
inline std::string ToHex(const std::vector<uint8_t>& bytes) {
  return ToHex(bytes.data(), bytes.size());
}

}  // namespace kestrava::testing

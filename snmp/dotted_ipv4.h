#pragma once
// Dotted IPv4 text, as the codec reads IpAddress values and the transport reads addresses:
// four decimal parts 0..255 joined by ".", and nothing else. Looks only at the text's own
// characters. Thread: a pure function, callable from any thread.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrava {

// The four octets of the address, first part first; false (octets unspecified) for any other
// text.
inline bool ReadDottedIpv4(std::string_view text, uint8_t octets[4]) {
  size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.') return false;
      ++i;
    }
    size_t digits = 0;
    unsigned value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || digits > 3 || value > 255) return false;
    octets[part] = static_cast<uint8_t>(value);
  }
  return i == text.size();
}

}  // namespace kestrava

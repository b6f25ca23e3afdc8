#include "shared/label_text.h"

#include <cstdint>

namespace kestrava {

namespace {

bool IsContinuation(uint8_t b) {
  return (b & 0xC0) == 0x80;
}

// Code points that are shown as U+FFFD although they are valid.
bool IsReplaced(uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069) || cp == 0x2028 || cp == 0x2029;
}

// The well-formed sequences of the Unicode Standard (table 3-7): the length a lead octet
// starts, and the range its second octet must lie in; 0 for an octet that starts none.
struct TLead {
  int Length;
  uint8_t Low, High;
};

TLead LeadOf(uint8_t b) {
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};  // below A0 it would be overlong
  if (b == 0xED) return {3, 0x80, 0x9F};  // above 9F it would be a surrogate
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};  // below 90 it would be overlong
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};  // above 8F it would pass U+10FFFF
  return {0, 0, 0};
}

}  // namespace

std::string SafeLabel(std::string_view text) {
  while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
  std::string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t b = p[i];
    if (b < 0x80) {
      if (IsReplaced(b)) {
        out += kReplacementCharacter;
      } else {
        out += static_cast<char>(b);
      }
      ++i;
      continue;
    }
    const TLead lead = LeadOf(b);
    if (lead.Length == 0) {
      out += kReplacementCharacter;
      ++i;
      continue;
    }
    // The longest well-formed start of a sequence is one ill-formed part; the octet that
    // breaks it begins the next.
    size_t end = i + 1;
    bool whole = true;
    for (int k = 1; k < lead.Length; ++k, ++end) {
      const bool fits = end < n && (k == 1 ? (p[end] >= lead.Low && p[end] <= lead.High)
                                           : IsContinuation(p[end]));
      if (!fits) {
        whole = false;
        break;
      }
    }
    if (!whole) {
      out += kReplacementCharacter;
      i = end;
      continue;
    }
    uint32_t cp = b & (0xFF >> (lead.Length + 1));
    for (size_t k = i + 1; k < end; ++k) cp = (cp << 6) | (p[k] & 0x3F);
    if (IsReplaced(cp)) {
      out += kReplacementCharacter;
    } else {
      out.append(text.data() + i, end - i);
    }
    i = end;
  }
  return out;
}

}  // namespace kestrava

#include "snmp/ber.h"

#include <cstring>

namespace kestrava::ber {

bool ReadLongLength(uint8_t first, const uint8_t*& q, const uint8_t* end, size_t& length) {
  const size_t octets = first & 0x7F;
  // 0x80 is the indefinite form, which SNMP does not allow; more than four octets
  // cannot describe a datagram.
  if (octets == 0 || octets > 4) return false;
  if (static_cast<size_t>(end - q) < octets) return false;
  length = 0;
  for (size_t i = 0; i < octets; ++i) length = (length << 8) | *q++;
  return true;
}

bool CloseLong(TByteBuffer& out, size_t start, bool sequence) {
  const size_t length = out.size() - start - 2;
  if (length > 0xFFFF) return false;
  // A SEQUENCE never uses the one-octet long form 81: from 128 on it is always 82 hh ll.
  const size_t extra = (sequence || length > 0xFF) ? 2 : 1;
  const size_t contentAt = start + 2;
  out.resize(out.size() + extra);
  std::memmove(out.data() + contentAt + extra, out.data() + contentAt, length);
  uint8_t* at = out.data() + start + 1;
  if (extra == 1) {
    at[0] = 0x81;
    at[1] = static_cast<uint8_t>(length);
  } else {
    at[0] = 0x82;
    at[1] = static_cast<uint8_t>(length >> 8);
    at[2] = static_cast<uint8_t>(length);
  }
  return true;
}

bool PutLongPrimitive(TByteBuffer& out, uint8_t tag, const uint8_t* content, size_t length) {
  if (length > 0xFFFF) return false;
  uint8_t head[4] = {tag, 0x81, static_cast<uint8_t>(length), 0};
  size_t headSize = 3;
  if (length > 0xFF) {
    head[1] = 0x82;
    head[2] = static_cast<uint8_t>(length >> 8);
    head[3] = static_cast<uint8_t>(length);
    headSize = 4;
  }
  out.reserve(out.size() + headSize + length);
  out.append(head, headSize);
  out.append(content, length);
  return true;
}

namespace {

// The content octets of value in shortest two's complement, most significant first, into
// octets[4 - n .. 4); returns n.
size_t Int32Octets(int32_t value, uint8_t octets[4]) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) octets[i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
  // Leading 00 (FF) octets are dropped while the next octet's top bit still carries the sign.
  if (value >= -0x80 && value < 0x80) return 1;
  if (value >= -0x8000 && value < 0x8000) return 2;
  if (value >= -0x800000 && value < 0x800000) return 3;
  return 4;
}

}  // namespace

void PutInt32Content(TByteBuffer& out, int32_t value) {
  uint8_t octets[4];
  const size_t n = Int32Octets(value, octets);
  out.append(octets + 4 - n, n);
}

void PutUnsigned32Content(TByteBuffer& out, uint32_t value) {
  uint8_t octets[5] = {0, static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                       static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  if (value & 0x80000000u) {
    out.append(octets, 5);
  } else {
    out.append(octets + 1, 4);
  }
}

void PutUnsigned64Content(TByteBuffer& out, uint64_t value) {
  uint8_t octets[9];
  octets[0] = 0;
  for (int i = 0; i < 8; ++i) octets[1 + i] = static_cast<uint8_t>(value >> (56 - 8 * i));
  int first = 1;
  while (first < 8 && octets[first] == 0) ++first;
  if (octets[first] & 0x80) --first;  // keep the value positive
  out.append(octets + first, 9 - first);
}

void PutInteger(TByteBuffer& out, int32_t value) {
  uint8_t octets[4];
  const size_t n = Int32Octets(value, octets);
  const size_t at = out.size();
  out.resize(at + 2 + n);
  uint8_t* p = out.data() + at;
  p[0] = 0x02;
  p[1] = static_cast<uint8_t>(n);
  std::memcpy(p + 2, octets + 4 - n, n);
}

}  // namespace kestrava::ber

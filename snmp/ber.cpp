#include "snmp/ber.h"

#include <cstring>

namespace kestrava::ber {

int ReadElement(const uint8_t*& p, const uint8_t* end, TElement& element) {
  const uint8_t* q = p;
  element.Tag = *q++;
  // A tag whose low five bits are all ones continues in further octets; SNMP never uses one.
  if ((element.Tag & 0x1F) == 0x1F) return 446;
  if (q >= end) return 446;
  size_t length = *q++;
  if (length & 0x80) {
    const size_t octets = length & 0x7F;
    // 0x80 is the indefinite form, which SNMP does not allow; more than four octets
    // cannot describe a datagram.
    if (octets == 0 || octets > 4) return 446;
    if (static_cast<size_t>(end - q) < octets) return 446;
    length = 0;
    for (size_t i = 0; i < octets; ++i) length = (length << 8) | *q++;
  }
  if (length > static_cast<size_t>(end - q)) return 446;
  element.Content = q;
  element.Length = length;
  p = q + length;
  return 0;
}

bool DecodeInt32(const TElement& element, int32_t& value) {
  if (element.Length > 4) return false;
  int64_t wide = 0;
  if (!DecodeInt64(element.Content, element.Length, wide)) return false;
  value = static_cast<int32_t>(wide);
  return true;
}

bool DecodeInt64(const uint8_t* content, size_t length, int64_t& value) {
  if (length > 8) return false;
  uint64_t bits = (length > 0 && (content[0] & 0x80)) ? ~uint64_t{0} : 0;
  for (size_t i = 0; i < length; ++i) bits = (bits << 8) | content[i];
  value = static_cast<int64_t>(bits);
  return true;
}

bool DecodeUnsigned(const uint8_t* content, size_t length, size_t octets, uint64_t& value) {
  if (length > octets) {
    // One octet more is allowed only as the leading 00 that keeps the value positive.
    if (length != octets + 1 || content[0] != 0) return false;
    ++content;
    --length;
  }
  uint64_t bits = 0;
  for (size_t i = 0; i < length; ++i) bits = (bits << 8) | content[i];
  value = bits;
  return true;
}

size_t Open(TByteBuffer& out, uint8_t tag) {
  const size_t start = out.size();
  out.resize(start + 2);
  out.data()[start] = tag;
  return start;
}

namespace {

// Writes the length of the element opened at start; `extra` length octets beyond the one
// reserved are made room for by moving the content.
void WriteLength(TByteBuffer& out, size_t start, size_t length, size_t extra) {
  if (extra > 0) {
    const size_t contentAt = start + 2;
    out.resize(out.size() + extra);
    std::memmove(out.data() + contentAt + extra, out.data() + contentAt, length);
  }
  uint8_t* at = out.data() + start + 1;
  if (extra == 0) {
    at[0] = static_cast<uint8_t>(length);
  } else if (extra == 1) {
    at[0] = 0x81;
    at[1] = static_cast<uint8_t>(length);
  } else {
    at[0] = 0x82;
    at[1] = static_cast<uint8_t>(length >> 8);
    at[2] = static_cast<uint8_t>(length);
  }
}

}  // namespace

bool CloseSequence(TByteBuffer& out, size_t start) {
  const size_t length = out.size() - start - 2;
  if (length > 0xFFFF) return false;
  // A SEQUENCE never uses the one-octet long form 81: from 128 on it is always 82 hh ll.
  WriteLength(out, start, length, length < 128 ? 0 : 2);
  return true;
}

bool ClosePrimitive(TByteBuffer& out, size_t start) {
  const size_t length = out.size() - start - 2;
  if (length > 0xFFFF) return false;
  WriteLength(out, start, length, length < 128 ? 0 : (length < 256 ? 1 : 2));
  return true;
}

bool PutPrimitive(TByteBuffer& out, uint8_t tag, const uint8_t* content, size_t length) {
  if (length > 0xFFFF) return false;
  uint8_t head[4] = {tag, 0, 0, 0};
  size_t headSize = 2;
  if (length < 128) {
    head[1] = static_cast<uint8_t>(length);
  } else if (length < 256) {
    head[1] = 0x81;
    head[2] = static_cast<uint8_t>(length);
    headSize = 3;
  } else {
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

void PutInt32Content(TByteBuffer& out, int32_t value) {
  uint8_t octets[4];
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) octets[i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
  // Drop leading 00 (FF) octets while the next octet's top bit still carries the sign.
  int first = 0;
  while (first < 3 && ((octets[first] == 0x00 && !(octets[first + 1] & 0x80)) ||
                       (octets[first] == 0xFF && (octets[first + 1] & 0x80)))) {
    ++first;
  }
  out.append(octets + first, 4 - first);
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
  const size_t start = out.size();
  out.resize(start + 2);
  PutInt32Content(out, value);
  out.data()[start] = 0x02;
  out.data()[start + 1] = static_cast<uint8_t>(out.size() - start - 2);
}

}  // namespace kestrava::ber

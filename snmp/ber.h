#pragma once
// Basic encoding rules as SNMP uses them: reading one element inside its parent, the fixed
// integer forms of the message fields and values, and writing elements with Kestrava's two
// length rules (a SEQUENCE: one octet below 128, else 82 and two octets; anything else: one
// octet, 81 and one octet up to 255, 82 and two octets up to 65535).
// The readers only look at bytes in [p, end) and report failure by their result. The common
// forms (one-octet lengths, short contents) are inline; the rare ones are in ber.cpp.
// Thread: pure functions, callable from any thread.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "snmp/byte_buffer.h"

namespace kestrava::ber {

struct TElement {
  uint8_t Tag = 0;
  const uint8_t* Content = nullptr;
  size_t Length = 0;
};

// The long form of a length at q (after its first octet `first`): moves q past it. False for
// the indefinite form, 5+ octets, or octets missing before end.
bool ReadLongLength(uint8_t first, const uint8_t*& q, const uint8_t* end, size_t& length);

// Reads the element at p and moves p past it. 0, or 446 for a multi-octet tag, an indefinite
// (0x80) or over-long (5+ octet) length, or content that runs past end.
// REQUIRES: p < end.
inline int ReadElement(const uint8_t*& p, const uint8_t* end, TElement& element) {
  const uint8_t* q = p;
  element.Tag = *q++;
  // A tag whose low five bits are all ones continues in further octets; SNMP never uses one.
  if ((element.Tag & 0x1F) == 0x1F) return 446;
  if (q >= end) return 446;
  size_t length = *q++;
  if ((length & 0x80) && !ReadLongLength(static_cast<uint8_t>(length), q, end, length)) {
    return 446;
  }
  if (length > static_cast<size_t>(end - q)) return 446;
  element.Content = q;
  element.Length = length;
  p = q + length;
  return 0;
}

// Walks the children of one constructed element in order.
class TCursor {
 public:
  TCursor(const uint8_t* begin, const uint8_t* end) : m_p(begin), m_end(end) {}
  explicit TCursor(const TElement& parent)
      : m_p(parent.Content), m_end(parent.Content + parent.Length) {}
  bool AtEnd() const { return m_p >= m_end; }
  // The next child: 0, 446 when it cannot be read, 447 when the parent has no more children.
  int Next(TElement& element) {
    if (m_p >= m_end) return 447;
    return ReadElement(m_p, m_end, element);
  }

 private:
  const uint8_t* m_p;
  const uint8_t* m_end;
};

// An INTEGER value of up to 8 octets, sign-extended; false when longer.
inline bool DecodeInt64(const uint8_t* content, size_t length, int64_t& value) {
  if (length > 8) return false;
  uint64_t bits = (length > 0 && (content[0] & 0x80)) ? ~uint64_t{0} : 0;
  for (size_t i = 0; i < length; ++i) bits = (bits << 8) | content[i];
  value = static_cast<int64_t>(bits);
  return true;
}
// An INTEGER message field: 0 to 4 content octets, sign-extended. False for 5 or more.
inline bool DecodeInt32(const TElement& element, int32_t& value) {
  if (element.Length > 4) return false;
  int64_t wide = 0;
  DecodeInt64(element.Content, element.Length, wide);
  value = static_cast<int32_t>(wide);
  return true;
}
// An unsigned value of at most `octets` octets, or one more behind a leading 00.
inline bool DecodeUnsigned(const uint8_t* content, size_t length, size_t octets, uint64_t& value) {
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

// Writing. A constructed element is opened with its tag and one length octet reserved, and
// closed once its content is written; closing moves the content when the length needs more
// octets. False when the content passes 65535 octets.
inline size_t Open(TByteBuffer& out, uint8_t tag) {
  const size_t start = out.size();
  out.resize(start + 2);
  out.data()[start] = tag;
  return start;
}
// The long length forms (content of 128 octets or more): the content moves behind the extra
// length octets. `sequence` selects the SEQUENCE rule (82 hh ll from 128 on).
bool CloseLong(TByteBuffer& out, size_t start, bool sequence);
inline bool CloseSequence(TByteBuffer& out, size_t start) {
  const size_t length = out.size() - start - 2;
  if (length >= 128) return CloseLong(out, start, true);
  out.data()[start + 1] = static_cast<uint8_t>(length);
  return true;
}
inline bool ClosePrimitive(TByteBuffer& out, size_t start) {
  const size_t length = out.size() - start - 2;
  if (length >= 128) return CloseLong(out, start, false);
  out.data()[start + 1] = static_cast<uint8_t>(length);
  return true;
}
// A primitive element with the given content; PutLongPrimitive is its path for 128 octets and
// more (81 ll up to 255, 82 hh ll up to 65535).
// REQUIRES (PutLongPrimitive): length >= 128.
bool PutLongPrimitive(TByteBuffer& out, uint8_t tag, const uint8_t* content, size_t length);
inline bool PutPrimitive(TByteBuffer& out, uint8_t tag, const uint8_t* content, size_t length) {
  if (length >= 128) return PutLongPrimitive(out, tag, content, length);
  const size_t at = out.size();
  out.resize(at + 2 + length);
  uint8_t* p = out.data() + at;
  p[0] = tag;
  p[1] = static_cast<uint8_t>(length);
  if (length > 0) std::memcpy(p + 2, content, length);
  return true;
}

// Content encoders; each appends to out.
void PutInt32Content(TByteBuffer& out, int32_t value);        // shortest two's complement
void PutUnsigned32Content(TByteBuffer& out, uint32_t value);  // 4 octets, 5 when top bit set
void PutUnsigned64Content(TByteBuffer& out, uint64_t value);  // shortest unsigned form
void PutInteger(TByteBuffer& out, int32_t value);             // tag 02 with content

}  // namespace kestrava::ber

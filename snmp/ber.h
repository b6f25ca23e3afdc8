#pragma once
// Basic encoding rules as SNMP uses them: reading one element inside its parent, the fixed
// integer forms of the message fields and values, and writing elements with Kestrava's two
// length rules (a SEQUENCE: one octet below 128, else 82 and two octets; anything else: one
// octet, 81 and one octet up to 255, 82 and two octets up to 65535).
// The readers only look at bytes in [p, end) and report failure by their result.
// Thread: pure functions, callable from any thread.

#include <cstddef>
#include <cstdint>

#include "snmp/byte_buffer.h"

namespace kestrava::ber {

struct TElement {
  uint8_t Tag = 0;
  const uint8_t* Content = nullptr;
  size_t Length = 0;
};

// Reads the element at p and moves p past it. 0, or 446 for a multi-octet tag, an indefinite
// (0x80) or over-long (5+ octet) length, or content that runs past end.
// REQUIRES: p < end.
int ReadElement(const uint8_t*& p, const uint8_t* end, TElement& element);

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

// An INTEGER message field: 0 to 4 content octets, sign-extended. False for 5 or more.
bool DecodeInt32(const TElement& element, int32_t& value);
// An INTEGER value of up to 8 octets, sign-extended; false when longer.
bool DecodeInt64(const uint8_t* content, size_t length, int64_t& value);
// An unsigned value of at most `octets` octets, or one more behind a leading 00.
bool DecodeUnsigned(const uint8_t* content, size_t length, size_t octets, uint64_t& value);

// Writing. A constructed element is opened with its tag and one length octet reserved, and
// closed once its content is written; closing moves the content when the length needs more
// octets. False when the content passes 65535 octets.
size_t Open(TByteBuffer& out, uint8_t tag);
bool CloseSequence(TByteBuffer& out, size_t start);
bool ClosePrimitive(TByteBuffer& out, size_t start);
// A primitive element with the given content.
bool PutPrimitive(TByteBuffer& out, uint8_t tag, const uint8_t* content, size_t length);

// Content encoders; each appends to out.
void PutInt32Content(TByteBuffer& out, int32_t value);        // shortest two's complement
void PutUnsigned32Content(TByteBuffer& out, uint32_t value);  // 4 octets, 5 when top bit set
void PutUnsigned64Content(TByteBuffer& out, uint64_t value);  // shortest unsigned form
void PutInteger(TByteBuffer& out, int32_t value);             // tag 02 with content

}  // namespace kestrava::ber

#pragma once
// The SNMP message codec: turns a message record and the object table into one SNMPv1,
// SNMPv2c or SNMPv3 message in BER, and one received datagram back into a message record and
// the object table. Pure functions over byte spans: no sockets, no Qt, no global state.
// The decoder only looks at bytes inside [data, data + size) and reports failure by its result.
// Thread: any; calls on separate objects may run on separate threads at the same time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "snmp/byte_buffer.h"
#include "snmp/errors.h"

namespace kestrava {

struct TUsmCredentials;  // snmp/usm.h
class TUsmKeys;          // snmp/usm.h

// Build actions (the numbers the component's methods use).
enum : int {
  kActionGetRequest = 1,
  kActionGetNextRequest = 2,
  kActionSetRequest = 3,
  kActionResponse = 4,
  kActionTrap = 5,
  kActionGetBulkRequest = 6,
  kActionInformRequest = 7,
  kActionDiscoverEngineId = 8,  // SNMPv3 GetRequest, empty bindings, empty user, no auth
  kActionDiscoverClock = 9,     // SNMPv3 GetRequest, empty bindings, authenticated
  kActionReport = 10,
  kActionReport2 = 11,
};

// Wire version values and PDU tags.
enum : int32_t { kSnmpV1 = 0, kSnmpV2c = 1, kSnmpV3 = 3 };
enum : uint8_t {
  kPduNone = 0,
  kPduGetRequest = 0xA0,
  kPduGetNextRequest = 0xA1,
  kPduResponse = 0xA2,
  kPduSetRequest = 0xA3,
  kPduTrapV1 = 0xA4,
  kPduGetBulkRequest = 0xA5,
  kPduInformRequest = 0xA6,
  kPduTrapV2 = 0xA7,
  kPduReport = 0xA8,
};

// Value tags (ObjType).
enum : int32_t {
  kTagInteger = 0x02,
  kTagOctetString = 0x04,
  kTagNull = 0x05,
  kTagOid = 0x06,
  kTagIpAddress = 0x40,
  kTagCounter32 = 0x41,
  kTagGauge32 = 0x42,
  kTagTimeTicks = 0x43,
  kTagOpaque = 0x44,
  kTagCounter64 = 0x46,
  kTagUInteger32 = 0x47,
  kTagNoSuchObject = 0x80,
  kTagNoSuchInstance = 0x81,
  kTagEndOfMibView = 0x82,
};

// The object table's limit for what a caller may put into a request (ObjCount); a received
// message fills it with every binding it holds.
inline constexpr int kMaxObjects = 256;
inline constexpr size_t kMaxOidArcs = 256;
// Every OID the decoder reads can be written again: 256 arcs of up to 2^32-1, the first
// sub-identifier (two arcs) 2^32+79 at most, five octets each.
inline constexpr size_t kMaxOidOctets = 5 * kMaxOidArcs;

// One variable binding: dotted OID text, BER tag of the value, value bytes (any bytes). A
// received numeric value (INTEGER, Counter32, Gauge32, TimeTicks, UInteger32, Counter64) also
// keeps the number it was decoded as, so that nobody reads it back from its text; a written
// one keeps the number its text goes out as (NumberFromText).
struct TSnmpObject {
  TByteBuffer Id;
  int32_t Type = kTagOctetString;
  TByteBuffer Value;
  uint64_t Magnitude = 0;  // numeric types: the value without its sign
  bool Negative = false;   // an INTEGER below 0
};

// The object table: slots from 1 and a count. Slots above Count() always hold type 4 with empty
// texts. A slot's storage is created on first use and kept, so refilling a warm table with
// values of the usual size allocates nothing. Requests take at most kMaxObjects (the caller
// checks); a received message takes as many slots as it has bindings.
class TObjectTable {
 public:
  TObjectTable() = default;
  TObjectTable(const TObjectTable&) = delete;
  TObjectTable& operator=(const TObjectTable&) = delete;

  int Count() const { return m_count; }
  // Slots above n go back to type 4 with empty texts; 1..n keep what they hold.
  // REQUIRES: n >= 0.
  void SetCount(int n) {
    if (n < m_count) EmptySlots(n + 1, m_count);
    m_count = n;
  }
  // REQUIRES: 1 <= i <= Count(). Creates the slot's storage when it has none yet.
  TSnmpObject& At(int i) {
    const size_t at = static_cast<size_t>(i) - 1;
    return at < m_slots.size() && m_slots[at] ? *m_slots[at] : CreateSlot(i);
  }
  // A slot that was never used reads as the empty type-4 object.
  const TSnmpObject& At(int i) const {
    const size_t at = static_cast<size_t>(i) - 1;
    return at < m_slots.size() && m_slots[at] ? *m_slots[at] : m_empty;
  }

 private:
  void EmptySlots(int from, int to);
  TSnmpObject& CreateSlot(int i);

  std::vector<std::unique_ptr<TSnmpObject>> m_slots;
  int m_count = 0;
  TSnmpObject m_empty;
};

// A message record: the outgoing message of the component, or the last one received.
struct TSnmpMessage {
  int32_t Version = kSnmpV2c;  // wire value: 0, 1 or 3
  TByteBuffer Community;
  uint8_t PduType = kPduNone;
  int32_t RequestId = 1;     // outgoing: the id the next request carries, advanced by BuildMessage
  int32_t ErrorStatus = -1;  // -1 = none
  int32_t ErrorIndex = 0;
  int32_t NonRepeaters = 0;    // GetBulkRequest only
  int32_t MaxRepetitions = 0;  // GetBulkRequest only
  // SNMPv1 Trap only.
  TByteBuffer Enterprise;     // dotted OID text
  uint32_t AgentAddress = 0;  // IPv4, first octet in the top bits
  int32_t GenericTrap = 0;
  int32_t SpecificTrap = 0;
  uint32_t TimeStamp = 0;  // hundredths of a second
  // SNMPv3.
  int32_t MsgId = 1;  // advanced by one for every SNMPv3 message built
  int32_t MsgMaxSize = 8192;
  uint8_t MsgFlags = 0;  // 1 authentication, 2 privacy, 4 reportable
  int32_t SecurityModel = 3;
  TByteBuffer AuthEngineId;
  int32_t EngineBoots = 0;
  int32_t EngineTime = 0;
  TByteBuffer UserName;
  TByteBuffer AuthParams;
  TByteBuffer PrivParams;
  TByteBuffer ContextEngineId;
  TByteBuffer ContextName;
  uint8_t SecurityLevel = 0;  // incoming: 0, 1 (authenticated) or 3 (also flagged encrypted)
  // Incoming SNMPv3: where the authentication parameters' content lies in the datagram
  // (for VerifyMessage); 0 with AuthParams empty when there are none.
  size_t AuthParamsOffset = 0;
  // Incoming SNMPv3 with privacy: where the encrypted scoped PDU lies in the datagram.
  size_t EncryptedOffset = 0;
  size_t EncryptedSize = 0;

  // The outgoing record after the component's Reset: no PDU type, error-status -1,
  // error-index 0, GetBulk values 0, trap fields empty, security level 0, msgMaxSize =
  // maxPacketSize. Version, Community, RequestId, MsgId and UserName keep their values.
  void Reset(int32_t maxPacketSize = 8192);
  // The incoming record's reset state: everything empty or 0, PDU type none, error-status -1.
  // Keeps buffer storage, so it allocates nothing.
  void Clear();
};

// Builds one message for `action` (kAction*) from msg and objects into out (which is replaced).
// Takes msg.RequestId and advances it (32-bit, wrapping) for every PDU that carries one; for a
// GetRequest, GetNextRequest or GetBulkRequest sets every object's type to NULL first, so
// that whatever the table held goes out as NULL. For SNMPv3 (msg.Version 3) fills the
// security fields from v3 (none: no user, no engine id, no authentication), advances msg.MsgId,
// encrypts the scoped PDU when a privacy key is given and signs the message when an
// authentication key is given.
// Returns 0, 304 (bad action), 311, 446 (an OID or a length that cannot be written; errorText
// kTextBuildPdu or kTextBuildPacket) or 200 (out of memory); the codes are in snmp/errors.h.
int BuildMessage(int action, TSnmpMessage& msg, TObjectTable& objects, TByteBuffer& out,
                 std::string& errorText, const TUsmCredentials* v3 = nullptr);

// Parses one datagram into msg (cleared first) and objects (count set to 0 first, then one slot
// per binding, as many as the datagram holds). An SNMPv3 message flagged for privacy is read up to
// its security parameters: its PDU waits for DecryptScopedPdu (msg.PduType stays none). Returns 0,
// 305, 306, 316, 446, 447 or 200; on failure msg and objects hold what was read up to the fault.
int ParseMessage(const uint8_t* data, size_t size, TSnmpMessage& msg, TObjectTable& objects);

// Decrypts the scoped PDU of an encrypted SNMPv3 message that ParseMessage read from the same
// datagram, into plain (scratch, replaced), and parses it into msg and objects. Check the
// signature first: decryption proves nothing. Returns 0, 313 (not encrypted, parameters of the
// wrong size, or nothing readable comes out: a wrong key), 306, 446, 447 or 200.
int DecryptScopedPdu(const uint8_t* data, size_t size, TSnmpMessage& msg, TObjectTable& objects,
                     TUsmKeys& keys, TByteBuffer& plain);

// Dotted OID text to BER content octets (no tag, no length). Non-digits end an arc, so empty
// arcs count as 0; a single arc encodes as 00. False (out unspecified) when an arc exceeds
// 32 bits or the text has more than 256 arcs.
bool OidToBer(std::string_view text, TByteBuffer& out);
// BER content octets to dotted text; at most 256 arcs are kept. False when a sub-identifier
// passes 32 bits or the last one is cut short (out then holds the arcs read before the fault).
bool BerToOid(const uint8_t* content, size_t size, TByteBuffer& out);
// The ObjValue text of a received value with this tag. False when a numeric value cannot be
// decoded (for example a Counter32 of 6 octets), so that no invented number is passed on.
bool RenderValue(int tag, const uint8_t* content, size_t size, TByteBuffer& out);
// Sets object.Magnitude and object.Negative to the number a request built from the object's
// type and text carries (0 for the types that carry no number).
void NumberFromText(TSnmpObject& object);

}  // namespace kestrava

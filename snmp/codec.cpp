#include "snmp/codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>

#include "shared/number_text.h"
#include "snmp/ber.h"
#include "snmp/dotted_ipv4.h"
#include "snmp/snmp_value.h"
#include "snmp/usm.h"

namespace kestrava {

namespace {

constexpr uint64_t kMaxArc = 0xFFFFFFFFu;

// "00".."99", so that numbers are written two digits per division.
constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546"
    "4748495051525354555657585960616263646566676869707172737475767778798081828384858687888990919293"
    "949596979899";

// 10^0 .. 10^19, for counting the digits of a 64-bit number.
constexpr uint64_t kPowersOf10[] = {1u,
                                    10u,
                                    100u,
                                    1000u,
                                    10000u,
                                    100000u,
                                    1000000u,
                                    10000000u,
                                    100000000u,
                                    1000000000u,
                                    10000000000u,
                                    100000000000u,
                                    1000000000000u,
                                    10000000000000u,
                                    100000000000000u,
                                    1000000000000000u,
                                    10000000000000000u,
                                    100000000000000000u,
                                    1000000000000000000u,
                                    10000000000000000000u};

// The number of decimal digits of value (1 for 0): bit width * log10(2) (1233 / 4096) is the
// digit count or one less, and one comparison with a power of ten settles it. Setting the
// lowest bit changes neither the bit width nor the count of any value but 0.
inline size_t DecimalDigits(uint64_t value) {
  const uint64_t odd = value | 1;
  const size_t guess = (static_cast<size_t>(std::bit_width(odd)) * 1233) >> 12;
  return guess + (odd >= kPowersOf10[guess] ? 1 : 0);
}

// Fills in the decimal digits of value from the back, ending at end, two per division.
template <typename Char, typename Number>
inline void FillDigits(Char* end, Number value) {
  static_assert(sizeof(Char) == 1);
  Char* q = end;
  while (value >= 100) {
    q -= 2;
    std::memcpy(q, kDigitPairs + static_cast<size_t>(value % 100) * 2, 2);
    value /= 100;
  }
  if (value >= 10) {
    std::memcpy(q - 2, kDigitPairs + static_cast<size_t>(value) * 2, 2);
  } else {
    *--q = static_cast<Char>('0' + value);
  }
}

// Fills in the decimal digits of value, ending at end. Divisions in 32 bits are cheaper, and
// 32-bit counters are the usual values.
template <typename Char>
inline void FillUnsigned(Char* end, uint64_t value) {
  if (value <= 0xFFFFFFFFu) {
    FillDigits(end, static_cast<uint32_t>(value));
  } else {
    FillDigits(end, value);
  }
}

// Writes value in decimal at p and returns the end.
template <typename Char>
inline Char* WriteUnsigned(Char* p, uint64_t value) {
  if (value < 10) {
    *p = static_cast<Char>('0' + value);
    return p + 1;
  }
  Char* const end = p + DecimalDigits(value);
  FillUnsigned(end, value);
  return end;
}

// ".0" .. ".127": the text of a one-octet sub-identifier with its dot, padded to four
// characters so that it is stored as one block, and its true size.
struct alignas(8) TSmallArc {
  char Text[4];
  uint8_t Size;
};
constexpr std::array<TSmallArc, 128> MakeSmallArcs() {
  std::array<TSmallArc, 128> arcs{};
  for (int value = 0; value < 128; ++value) {
    TSmallArc& arc = arcs[value];
    arc.Text[0] = '.';
    if (value < 10) {
      arc.Text[1] = static_cast<char>('0' + value);
      arc.Size = 2;
    } else if (value < 100) {
      arc.Text[1] = static_cast<char>('0' + value / 10);
      arc.Text[2] = static_cast<char>('0' + value % 10);
      arc.Size = 3;
    } else {
      arc.Text[1] = '1';
      arc.Text[2] = static_cast<char>('0' + value / 10 % 10);
      arc.Text[3] = static_cast<char>('0' + value % 10);
      arc.Size = 4;
    }
  }
  return arcs;
}
constexpr std::array<TSmallArc, 128> kSmallArcs = MakeSmallArcs();

inline void AppendUnsignedText(TByteBuffer& out, uint64_t value) {
  const size_t at = out.size();
  const size_t digits = DecimalDigits(value);
  out.resize(at + digits);
  FillUnsigned(out.data() + at + digits, value);
}

// The text of a whole number: "-" first when negative, then its digits.
void AppendNumberText(TByteBuffer& out, uint64_t magnitude, bool negative) {
  if (negative) out.push_back('-');
  AppendUnsignedText(out, magnitude);
}

// The number of a value with a numeric tag; false when its content cannot be one (for example
// a Counter32 of 6 octets), so that no invented number is passed on.
bool DecodeNumber(int tag, const uint8_t* content, size_t size, uint64_t& magnitude,
                  bool& negative) {
  negative = false;
  if (tag != kTagInteger)
    return ber::DecodeUnsigned(content, size, tag == kTagCounter64 ? 8 : 4, magnitude);
  int64_t value = 0;
  if (!ber::DecodeInt64(content, size, value)) return false;
  negative = value < 0;
  magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  return true;
}

// One sub-identifier in base 128, most significant group first; returns the end.
inline uint8_t* WriteSubId(uint8_t* p, uint64_t value) {
  if (value < 0x80) {
    *p = static_cast<uint8_t>(value);
    return p + 1;
  }
  uint8_t groups[10];
  int n = 0;
  do {
    groups[n++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (n > 1) *p++ = groups[--n] | 0x80;
  *p++ = groups[0];
  return p;
}

// The length of the common prefix of two texts, compared eight characters at a time.
inline size_t CommonPrefix(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x = 0;
    uint64_t y = 0;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) break;
  }
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Turns dotted OID texts into BER content, one after another. Digits build an arc and any
// other character ends it, so empty arcs count as 0; a single arc encodes as 00. The OIDs of
// one request mostly share their leading arcs (one table column, different rows), so the
// octets of the whole arcs a text shares with the text before it are kept, and only the rest
// is read. The previous text must stay unchanged while the encoder is in use.
class TOidEncoder {
 public:
  // Encodes text; false when an arc passes 32 bits or the result would pass 128 octets or
  // 256 arcs.
  bool Encode(std::string_view text);
  const uint8_t* data() const { return m_content; }
  size_t size() const { return m_length; }

 private:
  // The end of an arc from the second on: where its separator lies in the text, and how many
  // content octets are written up to it.
  struct TMark {
    size_t TextAt;
    size_t ContentEnd;
  };

  bool Fail() {
    m_text = {};
    m_marks = 0;
    return false;
  }

  std::string_view m_text;  // the text encoded last
  // At most kMaxOidOctets, plus room for one sub-identifier past the limit before it is noticed.
  uint8_t m_content[kMaxOidOctets + 10];
  size_t m_length = 0;
  TMark m_mark[kMaxOidArcs];
  size_t m_marks = 0;
};

bool TOidEncoder::Encode(std::string_view text) {
  const uint8_t* const limit = m_content + kMaxOidOctets;
  // Resume after the last arc end that lies inside the part shared with the previous text:
  // everything before it reads, and so encodes, the same.
  const size_t shared = CommonPrefix(m_text, text);
  // The count of marks is kept in a local: stores through p could otherwise alias it.
  size_t marks = m_marks;
  while (marks > 0 && m_mark[marks - 1].TextAt >= shared) --marks;
  size_t at = 0;
  uint8_t* p = m_content;
  size_t arcs = 1;  // the arc being read, counted from 1
  if (marks > 0) {
    at = m_mark[marks - 1].TextAt + 1;
    p = m_content + m_mark[marks - 1].ContentEnd;
    arcs = marks + 2;
  }
  m_text = text;
  uint64_t first = 0;  // the first arc waits to be joined with the second
  uint64_t arc = 0;
  for (; at < text.size(); ++at) {
    const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(text[at])) - '0';
    if (digit <= 9) {
      arc = arc * 10 + digit;
      if (arc > kMaxArc) return Fail();
      continue;
    }
    if (arcs == 1) {
      first = arc;
    } else {
      p = WriteSubId(p, arcs == 2 ? 40 * first + arc : arc);
      if (p > limit) return Fail();
      m_mark[marks++] = TMark{at, static_cast<size_t>(p - m_content)};
    }
    if (++arcs > kMaxOidArcs) return Fail();
    arc = 0;
  }
  m_marks = marks;
  if (arcs == 1) {
    m_content[0] = 0;
    m_length = 1;
    return true;
  }
  p = WriteSubId(p, arcs == 2 ? 40 * first + arc : arc);
  if (p > limit) return Fail();
  m_length = static_cast<size_t>(p - m_content);
  return true;
}

// Turns BER OID contents into dotted text, one after another. The OIDs of one response mostly
// share their leading arcs, so the text of the whole arcs a content shares with the content
// before it is copied from that one's text, and only the rest is read. The previous content
// and text must stay unchanged while the decoder is in use.
class TOidDecoder {
 public:
  // Writes the text of content into out (which must not be the previous text); at most 256
  // arcs are kept. False when a sub-identifier passes 32 bits or the last one is cut short
  // (out then holds the arcs read before the fault).
  bool Decode(const uint8_t* content, size_t size, TByteBuffer& out);

 private:
  // The end of a sub-identifier: the content octets and text characters up to it.
  struct TMark {
    uint32_t ContentEnd;
    uint32_t TextEnd;
  };

  // Where a decode stands: the next content octet, the next text character, the arcs written
  // and the marks set.
  struct TPosition {
    size_t Octet;
    uint8_t* Text;
    size_t Arcs;
    size_t Marks;
  };

  TPosition Resume(std::string_view content, uint8_t* start) const;
  bool ReadArcs(const uint8_t* content, size_t size, uint8_t* start, TPosition& at);

  std::string_view m_content;  // the content decoded last, and its text
  const TByteBuffer* m_text = nullptr;
  TMark m_mark[kMaxOidArcs];
  size_t m_marks = 0;
};

bool TOidDecoder::Decode(const uint8_t* content, size_t size, TByteBuffer& out) {
  // The text is written straight into out. Each content octet adds at most four characters
  // (a one-octet arc: three digits and a dot) and the first carries two extra ("2."), and no
  // more than 256 arcs of at most 11 characters are written.
  out.resize(std::min(size * 4 + 2, kMaxOidArcs * 11));
  uint8_t* const start = out.data();
  const std::string_view bytes(reinterpret_cast<const char*>(content), size);
  TPosition at = Resume(bytes, start);
  m_content = bytes;
  m_text = &out;
  const bool ok = ReadArcs(content, size, start, at);
  out.resize(static_cast<size_t>(at.Text - start));
  if (!ok) {
    m_text = nullptr;
    m_marks = 0;
    return false;
  }
  m_marks = at.Marks;
  return true;
}

// Resumes after the last sub-identifier that lies inside the octets shared with the previous
// content: the text up to it reads the same, and is copied to start.
TOidDecoder::TPosition TOidDecoder::Resume(std::string_view content, uint8_t* start) const {
  const size_t shared = m_text ? CommonPrefix(m_content, content) : 0;
  size_t marks = m_marks;
  while (marks > 0 && m_mark[marks - 1].ContentEnd > shared) --marks;
  if (marks == 0) return TPosition{0, start, 0, 0};
  const TMark& mark = m_mark[marks - 1];
  std::memcpy(start, m_text->data(), mark.TextEnd);
  // The first mark stands after two arcs.
  return TPosition{mark.ContentEnd, start + mark.TextEnd, marks + 1, marks};
}

// The text of one whole sub-identifier: the first stands for two arcs (X.Y, X = 0, 1 or 2),
// the others follow a dot.
uint8_t* WriteSubIdentifier(uint8_t* p, uint64_t value, bool first) {
  if (!first) {
    *p++ = '.';
    return WriteUnsigned(p, value);
  }
  const uint64_t x = value < 40 ? 0 : (value < 80 ? 1 : 2);
  *p++ = static_cast<uint8_t>('0' + x);
  *p++ = '.';
  return WriteUnsigned(p, value - 40 * x);
}

// Reads the sub-identifiers from `at` on, to the end or the arc limit, marking the end of each.
// False when one passes 32 bits or the last is cut short.
bool TOidDecoder::ReadArcs(const uint8_t* content, size_t size, uint8_t* start, TPosition& at) {
  // Kept in locals: stores through p could otherwise alias them.
  size_t i = at.Octet;
  uint8_t* p = at.Text;
  size_t arcs = at.Arcs;
  size_t marks = at.Marks;
  uint64_t value = 0;
  bool pending = false;
  bool ok = true;
  for (; i < size && arcs < kMaxOidArcs; ++i) {
    if (!pending && arcs > 0) {
      // Past the first, most sub-identifiers are one octet below 128: a run of them is written
      // from a table, each stored as four characters (within the bound: at most four per
      // octet), up to the arc limit.
      const size_t runEnd = std::min(size, i + (kMaxOidArcs - arcs));
      const size_t runStart = i;
      for (; i < runEnd && content[i] < 0x80; ++i) {
        const TSmallArc& small = kSmallArcs[content[i]];
        std::memcpy(p, small.Text, 4);
        p += small.Size;
        m_mark[marks++] = TMark{static_cast<uint32_t>(i + 1), static_cast<uint32_t>(p - start)};
      }
      arcs += i - runStart;
      if (i == size || arcs == kMaxOidArcs) break;
    }
    const uint8_t octet = content[i];
    value = (value << 7) | (octet & 0x7F);
    // The first sub-identifier carries two arcs, so it may reach 80 above the 32-bit range.
    if (value > (arcs == 0 ? kMaxArc + 80 : kMaxArc)) {
      ok = false;
      break;
    }
    pending = (octet & 0x80) != 0;
    if (pending) continue;
    p = WriteSubIdentifier(p, value, arcs == 0);
    arcs += arcs == 0 ? 2 : 1;
    m_mark[marks++] = TMark{static_cast<uint32_t>(i + 1), static_cast<uint32_t>(p - start)};
    value = 0;
  }
  at = TPosition{i, p, arcs, marks};
  return ok && !pending;
}

// An OID element (tag 06) for a dotted text; false when the text cannot be encoded.
bool PutOid(TByteBuffer& out, TOidEncoder& encoder, std::string_view text) {
  return encoder.Encode(text) && ber::PutPrimitive(out, kTagOid, encoder.data(), encoder.size());
}

bool BuildValue(const TSnmpObject& object, TOidEncoder& oids, TByteBuffer& out) {
  const int32_t type = object.Type;
  // The type goes out as a one-octet tag; a multi-octet tag form cannot be written.
  if (type < 0 || type > 0xFF || (type & 0x1F) == 0x1F) return false;
  const uint8_t tag = static_cast<uint8_t>(type);
  switch (type) {
    case kTagNull:
    case kTagNoSuchObject:
    case kTagNoSuchInstance:
    case kTagEndOfMibView: {
      const uint8_t element[2] = {tag, 0};
      out.append(element, 2);
      return true;
    }
    case kTagInteger: {
      const size_t at = ber::Open(out, tag);
      ber::PutInt32Content(out, static_cast<int32_t>(LeadingDecimal32(object.Value.view())));
      return ber::ClosePrimitive(out, at);
    }
    case kTagCounter32:
    case kTagGauge32:
    case kTagTimeTicks:
    case kTagUInteger32: {
      const size_t at = ber::Open(out, tag);
      ber::PutUnsigned32Content(out, LeadingDecimal32(object.Value.view()));
      return ber::ClosePrimitive(out, at);
    }
    case kTagCounter64: {
      const size_t at = ber::Open(out, tag);
      ber::PutUnsigned64Content(out, LeadingDigits64(object.Value.view()));
      return ber::ClosePrimitive(out, at);
    }
    case kTagOid:
      return PutOid(out, oids, object.Value.view());
    case kTagIpAddress: {
      uint8_t address[4];
      if (!ReadDottedIpv4(object.Value.view(), address)) {
        address[0] = address[1] = address[2] = address[3] = 0xFF;
      }
      return ber::PutPrimitive(out, tag, address, 4);
    }
    default:
      return ber::PutPrimitive(out, tag, object.Value.data(), object.Value.size());
  }
}

uint8_t PduTypeFor(int action, int32_t version) {
  switch (action) {
    case kActionGetRequest:
    case kActionDiscoverEngineId:
    case kActionDiscoverClock:
      return kPduGetRequest;
    case kActionGetNextRequest:
      return kPduGetNextRequest;
    case kActionSetRequest:
      return kPduSetRequest;
    case kActionResponse:
      return kPduResponse;
    case kActionTrap:
      return version == kSnmpV1 ? kPduTrapV1 : kPduTrapV2;
    case kActionGetBulkRequest:
      return kPduGetBulkRequest;
    case kActionInformRequest:
      return kPduInformRequest;
    default:
      return kPduReport;
  }
}

// The PDU: its tag, its header fields and the binding list. False when an element cannot be
// written (an OID text past its limits, a tag that cannot be written, a length over 65535).
bool BuildPdu(int action, TSnmpMessage& msg, TObjectTable& objects, TByteBuffer& out) {
  const uint8_t pduType = PduTypeFor(action, msg.Version);
  TOidEncoder oids;
  msg.PduType = pduType;
  const bool discovery = action == kActionDiscoverEngineId || action == kActionDiscoverClock;
  // A request asks for values: each binding carries NULL, whatever the table held for it.
  if ((pduType == kPduGetRequest || pduType == kPduGetNextRequest ||
       pduType == kPduGetBulkRequest) &&
      !discovery) {
    for (int i = 1; i <= objects.Count(); ++i) objects.At(i).Type = kTagNull;
  }
  const size_t pdu = ber::Open(out, pduType);
  switch (pduType) {
    case kPduTrapV1: {
      if (!PutOid(out, oids, msg.Enterprise.view())) return false;
      const uint32_t a = msg.AgentAddress;
      const uint8_t address[4] = {static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16),
                                  static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
      ber::PutPrimitive(out, kTagIpAddress, address, 4);
      ber::PutInteger(out, msg.GenericTrap);
      ber::PutInteger(out, msg.SpecificTrap);
      const size_t stamp = ber::Open(out, kTagTimeTicks);
      ber::PutUnsigned32Content(out, msg.TimeStamp);
      ber::ClosePrimitive(out, stamp);
      break;
    }
    case kPduGetBulkRequest:
      msg.ErrorStatus = 0;
      ber::PutInteger(out, msg.RequestId);
      ber::PutInteger(out, msg.NonRepeaters);
      ber::PutInteger(out, msg.MaxRepetitions);
      break;
    case kPduResponse:
    case kPduReport:
      ber::PutInteger(out, msg.RequestId);
      ber::PutInteger(out, msg.ErrorStatus);
      ber::PutInteger(out, msg.ErrorIndex);
      break;
    default:
      msg.ErrorStatus = 0;
      ber::PutInteger(out, msg.RequestId);
      ber::PutInteger(out, 0);
      ber::PutInteger(out, msg.ErrorIndex);
      break;
  }
  const size_t list = ber::Open(out, 0x30);
  const int count = discovery ? 0 : objects.Count();
  for (int i = 1; i <= count; ++i) {
    const TSnmpObject& object = objects.At(i);
    const size_t binding = ber::Open(out, 0x30);
    if (!PutOid(out, oids, object.Id.view())) return false;
    if (!BuildValue(object, oids, out) || !ber::CloseSequence(out, binding)) return false;
  }
  // The PDU takes the length form of a primitive element (81 for 128..255).
  return ber::CloseSequence(out, list) && ber::ClosePrimitive(out, pdu);
}

// A message that cannot be built: the text says which part failed.
int BuildError(std::string& errorText, const char* text) {
  errorText = text;
  return kErrBadElement;
}

int BuildCommunityMessage(int action, TSnmpMessage& msg, TObjectTable& objects, TByteBuffer& out,
                          std::string& errorText) {
  const size_t message = ber::Open(out, 0x30);
  ber::PutInteger(out, msg.Version);
  if (!ber::PutPrimitive(out, kTagOctetString, msg.Community.data(), msg.Community.size()))
    return BuildError(errorText, kTextBuildPacket);
  if (!BuildPdu(action, msg, objects, out)) return BuildError(errorText, kTextBuildPdu);
  if (!ber::CloseSequence(out, message)) return BuildError(errorText, kTextBuildPacket);
  return kErrNone;
}

bool PutOctets(TByteBuffer& out, const TByteBuffer& bytes) {
  return ber::PutPrimitive(out, kTagOctetString, bytes.data(), bytes.size());
}

// What one SNMPv3 message does for its action and keys. Engine-id discovery goes out
// unauthenticated and without a user name; the clock discovery carries no PDU worth hiding,
// so it is authenticated only.
struct TV3Protection {
  bool IdDiscovery;
  bool Authenticate;
  bool Encrypt;
  size_t AuthSize;  // octets of the authentication parameters
};

TV3Protection ProtectionFor(int action, const TUsmKeys& keys) {
  TV3Protection p;
  p.IdDiscovery = action == kActionDiscoverEngineId;
  p.Authenticate = !p.IdDiscovery && keys.CanAuthenticate();
  p.Encrypt = p.Authenticate && keys.CanEncrypt() && action != kActionDiscoverClock;
  p.AuthSize = p.Authenticate ? AuthParamsSize(keys.AuthProtocol()) : 0;
  return p;
}

// Keys not prepared by the caller are prepared for this one message.
bool PrepareOwnKeys(const TUsmCredentials& user, TUsmKeys& keys) {
  const bool auth = !user.AuthKey.empty();
  const bool priv = auth && !user.PrivKey.empty();
  return keys.Prepare(auth ? user.AuthProtocol : kAuthNone, user.AuthKey,
                      priv ? user.PrivProtocol : kPrivNone, user.PrivKey);
}

// The security fields of the record, with zeros where the signature and the privacy
// parameters will stand.
void FillSecurityFields(const TV3Protection& p, const TUsmCredentials& user, TSnmpMessage& msg) {
  msg.MsgFlags = static_cast<uint8_t>(4 | (p.Authenticate ? 1 : 0) | (p.Encrypt ? 2 : 0));
  msg.SecurityModel = 3;
  msg.AuthEngineId.assign(user.EngineId);
  msg.ContextEngineId.assign(user.EngineId);
  msg.ContextName.assign(p.IdDiscovery ? std::string_view() : std::string_view(user.ContextName));
  msg.UserName.assign(p.IdDiscovery ? std::string_view() : std::string_view(user.User));
  msg.EngineBoots = p.Authenticate && user.ClockKnown ? user.EngineBoots : 0;
  msg.EngineTime = p.Authenticate && user.ClockKnown ? user.EngineTime : 0;
  msg.AuthParams.resize(p.AuthSize);
  if (p.AuthSize > 0) std::memset(msg.AuthParams.data(), 0, p.AuthSize);
  msg.PrivParams.resize(p.Encrypt ? kPrivParamsSize : 0);
  if (p.Encrypt) std::memset(msg.PrivParams.data(), 0, kPrivParamsSize);
}

// The version and the header: msgID, msgMaxSize, msgFlags, msgSecurityModel.
void PutV3Header(const TSnmpMessage& msg, TByteBuffer& out) {
  ber::PutInteger(out, kSnmpV3);
  const size_t header = ber::Open(out, 0x30);
  ber::PutInteger(out, msg.MsgId);
  ber::PutInteger(out, msg.MsgMaxSize);
  ber::PutPrimitive(out, kTagOctetString, &msg.MsgFlags, 1);
  ber::PutInteger(out, msg.SecurityModel);
  ber::CloseSequence(out, header);
}

// Where the contents of the authentication and privacy parameters lie in the message.
struct TV3Offsets {
  size_t Auth = 0;
  size_t Priv = 0;
};

// Closes an element that holds both parameters: they move with its length's extra octets.
bool CloseAround(TByteBuffer& out, size_t start, bool sequence, TV3Offsets& offsets) {
  const size_t before = out.size();
  const bool ok = sequence ? ber::CloseSequence(out, start) : ber::ClosePrimitive(out, start);
  offsets.Auth += out.size() - before;
  offsets.Priv += out.size() - before;
  return ok;
}

// The security parameters: an OCTET STRING holding a SEQUENCE. The positions of the
// authentication and privacy parameters are followed through every length that grows in
// front of them; both are written once the rest of the message stands.
bool PutSecurityParameters(const TSnmpMessage& msg, TByteBuffer& out, TV3Offsets& offsets) {
  const size_t wrapper = ber::Open(out, kTagOctetString);
  const size_t params = ber::Open(out, 0x30);
  bool ok = PutOctets(out, msg.AuthEngineId);
  // Boots and time go out in the four-octet unsigned form.
  for (const int32_t clock : {msg.EngineBoots, msg.EngineTime}) {
    const size_t at = ber::Open(out, kTagInteger);
    ber::PutUnsigned32Content(out, static_cast<uint32_t>(clock));
    ber::ClosePrimitive(out, at);
  }
  ok = ok && PutOctets(out, msg.UserName);
  offsets.Auth = out.size() + 2;
  PutOctets(out, msg.AuthParams);
  offsets.Priv = out.size() + 2;
  ok = ok && PutOctets(out, msg.PrivParams);
  return ok && CloseAround(out, params, true, offsets) && CloseAround(out, wrapper, false, offsets);
}

// The scoped PDU: context engine id, context name and the PDU, in a SEQUENCE.
int PutScopedPdu(int action, TSnmpMessage& msg, TObjectTable& objects, TByteBuffer& out,
                 std::string& errorText) {
  const size_t scoped = ber::Open(out, 0x30);
  PutOctets(out, msg.ContextEngineId);
  PutOctets(out, msg.ContextName);
  if (!BuildPdu(action, msg, objects, out)) return BuildError(errorText, kTextBuildPdu);
  if (!ber::CloseSequence(out, scoped)) return BuildError(errorText, kTextBuildPacket);
  return kErrNone;
}

// Encrypts the scoped PDU from `scoped` to the end in place and closes the OCTET STRING opened
// at `hidden` around it; the privacy parameters go into the message at privOffset and into
// msg.
bool EncryptScopedPdu(TUsmKeys& keys, uint64_t salt, size_t hidden, size_t scoped,
                      size_t privOffset, TSnmpMessage& msg, TByteBuffer& out) {
  size_t plain = out.size() - scoped;
  // DES-CBC takes whole blocks: the scoped PDU is padded, and the pad is never read back.
  if (keys.PrivProtocol() == kPrivDes && plain % 8 != 0) {
    const size_t pad = 8 - plain % 8;
    out.resize(out.size() + pad);
    std::memset(out.data() + out.size() - pad, 0, pad);
    plain += pad;
  }
  uint8_t privParams[kPrivParamsSize];
  if (!keys.Encrypt(out.data() + scoped, plain, msg.EngineBoots, msg.EngineTime, salt,
                    privParams) ||
      !ber::ClosePrimitive(out, hidden))
    return false;
  std::memcpy(out.data() + privOffset, privParams, kPrivParamsSize);
  msg.PrivParams.assign(privParams, kPrivParamsSize);
  return true;
}

int BuildV3Message(int action, TSnmpMessage& msg, TObjectTable& objects, TByteBuffer& out,
                   std::string& errorText, const TUsmCredentials* v3) {
  static const TUsmCredentials kNoCredentials;
  const TUsmCredentials& user = v3 ? *v3 : kNoCredentials;
  TUsmKeys local;
  TUsmKeys& keys = user.Keys ? *user.Keys : local;
  if (!user.Keys && !PrepareOwnKeys(user, local)) return BuildError(errorText, kTextBuildPacket);
  const TV3Protection protection = ProtectionFor(action, keys);
  if (protection.Authenticate && !user.ClockKnown && action != kActionDiscoverClock) {
    errorText = kTextClockUnknown;
    return kErrClockUnknown;
  }
  FillSecurityFields(protection, user, msg);

  const size_t message = ber::Open(out, 0x30);
  PutV3Header(msg, out);
  TV3Offsets offsets;
  if (!PutSecurityParameters(msg, out, offsets)) return BuildError(errorText, kTextBuildPacket);
  // With privacy the scoped PDU goes into an OCTET STRING, encrypted.
  const size_t hidden = protection.Encrypt ? ber::Open(out, kTagOctetString) : 0;
  const size_t scoped = out.size();
  if (const int rc = PutScopedPdu(action, msg, objects, out, errorText)) return rc;
  if (protection.Encrypt &&
      !EncryptScopedPdu(keys, user.Salt, hidden, scoped, offsets.Priv, msg, out))
    return BuildError(errorText, kTextBuildPacket);
  // The scoped PDU lies behind the parameters; only the message's own length moves them.
  if (!CloseAround(out, message, true, offsets)) return BuildError(errorText, kTextBuildPacket);
  if (protection.Authenticate) {
    if (!keys.Sign(out.data(), out.size(), offsets.Auth))
      return BuildError(errorText, kTextBuildPacket);
    msg.AuthParams.assign(out.data() + offsets.Auth, protection.AuthSize);
  }
  msg.MsgId = static_cast<int32_t>(static_cast<uint32_t>(msg.MsgId) + 1);
  return kErrNone;
}

// ---- parsing ----

int ReadInt32(ber::TCursor& cursor, int32_t& value) {
  ber::TElement element;
  if (const int rc = cursor.Next(element)) return rc;
  return ber::DecodeInt32(element, value) ? kErrNone : kErrBadElement;
}

int ReadOctets(ber::TCursor& cursor, TByteBuffer& value, ber::TElement* element = nullptr) {
  ber::TElement local;
  ber::TElement& e = element ? *element : local;
  if (const int rc = cursor.Next(e)) return rc;
  value.assign(e.Content, e.Length);
  return kErrNone;
}

// A received value: its number where its tag has one, and its ObjValue text.
bool DecodeValue(int tag, const uint8_t* content, size_t size, TSnmpObject& object) {
  object.Magnitude = 0;
  object.Negative = false;
  if (!IsNumericTag(tag)) return RenderValue(tag, content, size, object.Value);
  if (!DecodeNumber(tag, content, size, object.Magnitude, object.Negative)) return false;
  object.Value.clear();
  AppendNumberText(object.Value, object.Magnitude, object.Negative);
  return true;
}

int ParseBindings(ber::TCursor& pdu, TObjectTable& objects) {
  ber::TElement list;
  if (const int rc = pdu.Next(list)) return rc;
  ber::TCursor bindings(list);
  TOidDecoder oids;
  // Every binding is read: the datagram bounds their number (each takes six octets at least).
  for (int i = 1; !bindings.AtEnd(); ++i) {
    ber::TElement binding;
    if (const int rc = bindings.Next(binding)) return rc;
    objects.SetCount(i);
    TSnmpObject& object = objects.At(i);
    ber::TCursor parts(binding);
    ber::TElement oid, value;
    if (const int rc = parts.Next(oid)) return rc;
    if (!oids.Decode(oid.Content, oid.Length, object.Id)) return kErrBadElement;
    if (const int rc = parts.Next(value)) return rc;
    object.Type = value.Tag;
    if (!DecodeValue(value.Tag, value.Content, value.Length, object)) return kErrBadElement;
  }
  return kErrNone;
}

int ParsePdu(const ber::TElement& pduElement, bool v1, TSnmpMessage& msg, TObjectTable& objects) {
  if (pduElement.Tag < kPduGetRequest || pduElement.Tag > kPduReport) return kErrBadPduType;
  msg.PduType = pduElement.Tag;
  ber::TCursor pdu(pduElement);
  int rc = kErrNone;
  if (v1 && (msg.PduType == kPduTrapV1 || msg.PduType == kPduTrapV2)) {
    ber::TElement element;
    if ((rc = pdu.Next(element))) return rc;
    if (!BerToOid(element.Content, element.Length, msg.Enterprise)) return kErrBadElement;
    if ((rc = pdu.Next(element))) return rc;
    if (element.Length < 4) return kErrBadElement;
    const uint8_t* a = element.Content;
    msg.AgentAddress = uint32_t{a[0]} << 24 | uint32_t{a[1]} << 16 | uint32_t{a[2]} << 8 | a[3];
    if ((rc = ReadInt32(pdu, msg.GenericTrap)) || (rc = ReadInt32(pdu, msg.SpecificTrap))) {
      return rc;
    }
    if ((rc = pdu.Next(element))) return rc;
    uint64_t stamp = 0;
    if (!ber::DecodeUnsigned(element.Content, element.Length, 4, stamp)) return kErrBadElement;
    msg.TimeStamp = static_cast<uint32_t>(stamp);
  } else if (msg.PduType == kPduGetBulkRequest) {
    if ((rc = ReadInt32(pdu, msg.RequestId)) || (rc = ReadInt32(pdu, msg.NonRepeaters)) ||
        (rc = ReadInt32(pdu, msg.MaxRepetitions))) {
      return rc;
    }
  } else {
    if ((rc = ReadInt32(pdu, msg.RequestId)) || (rc = ReadInt32(pdu, msg.ErrorStatus)) ||
        (rc = ReadInt32(pdu, msg.ErrorIndex))) {
      return rc;
    }
  }
  return ParseBindings(pdu, objects);
}

// The scoped PDU: context engine id, context name and the PDU.
int ParseScopedPdu(const ber::TElement& element, TSnmpMessage& msg, TObjectTable& objects) {
  int rc = kErrNone;
  ber::TCursor scoped(element);
  if ((rc = ReadOctets(scoped, msg.ContextEngineId)) ||
      (rc = ReadOctets(scoped, msg.ContextName))) {
    return rc;
  }
  ber::TElement pdu;
  if ((rc = scoped.Next(pdu))) return rc;
  return ParsePdu(pdu, false, msg, objects);
}

int ParseV3(const uint8_t* datagram, ber::TCursor& fields, TSnmpMessage& msg,
            TObjectTable& objects) {
  int rc = kErrNone;
  ber::TElement element;
  if ((rc = fields.Next(element))) return rc;
  ber::TCursor header(element);
  if ((rc = ReadInt32(header, msg.MsgId)) || (rc = ReadInt32(header, msg.MsgMaxSize))) return rc;
  if ((rc = header.Next(element))) return rc;
  msg.MsgFlags = element.Length > 0 ? element.Content[0] : 0;
  if ((rc = ReadInt32(header, msg.SecurityModel))) return rc;
  if (msg.SecurityModel != 3) return kErrBadSecurityModel;
  if (msg.MsgFlags & 1) msg.SecurityLevel = (msg.MsgFlags & 2) ? 3 : 1;

  // The security parameters: an OCTET STRING whose content is one SEQUENCE.
  if ((rc = fields.Next(element))) return rc;
  ber::TCursor wrapper(element);
  if ((rc = wrapper.Next(element))) return rc;
  ber::TCursor params(element);
  if ((rc = ReadOctets(params, msg.AuthEngineId)) || (rc = ReadInt32(params, msg.EngineBoots)) ||
      (rc = ReadInt32(params, msg.EngineTime)) || (rc = ReadOctets(params, msg.UserName)) ||
      (rc = ReadOctets(params, msg.AuthParams, &element))) {
    return rc;
  }
  msg.AuthParamsOffset = static_cast<size_t>(element.Content - datagram);
  if ((rc = ReadOctets(params, msg.PrivParams))) return rc;

  // An encrypted scoped PDU waits for the keys (DecryptScopedPdu); a plain one is read now.
  if ((rc = fields.Next(element))) return rc;
  if (msg.MsgFlags & 2) {
    msg.EncryptedOffset = static_cast<size_t>(element.Content - datagram);
    msg.EncryptedSize = element.Length;
    return kErrNone;
  }
  return ParseScopedPdu(element, msg, objects);
}

int ParseChecked(const uint8_t* data, size_t size, TSnmpMessage& msg, TObjectTable& objects) {
  ber::TCursor datagram(data, data + size);
  ber::TElement element;
  int rc = kErrNone;
  if ((rc = datagram.Next(element))) return rc;
  ber::TCursor fields(element);
  if ((rc = ReadInt32(fields, msg.Version))) return rc;
  if (msg.Version == kSnmpV3) return ParseV3(data, fields, msg, objects);
  if (msg.Version != kSnmpV1 && msg.Version != kSnmpV2c) return kErrBadVersion;
  if ((rc = ReadOctets(fields, msg.Community))) return rc;
  if ((rc = fields.Next(element))) return rc;
  return ParsePdu(element, msg.Version == kSnmpV1, msg, objects);
}

}  // namespace

void TObjectTable::EmptySlots(int from, int to) {
  to = std::min(to, static_cast<int>(m_slots.size()));
  for (int i = from; i <= to; ++i) {
    if (auto& slot = m_slots[i - 1]) {
      slot->Type = kTagOctetString;
      slot->Id.clear();
      slot->Value.clear();
      slot->Magnitude = 0;
      slot->Negative = false;
    }
  }
}

TSnmpObject& TObjectTable::CreateSlot(int i) {
  const size_t at = static_cast<size_t>(i) - 1;
  if (at >= m_slots.size()) m_slots.resize(at + 1);
  auto& slot = m_slots[at];
  slot = std::make_unique<TSnmpObject>();
  return *slot;
}

void TSnmpMessage::Reset(int32_t maxPacketSize) {
  PduType = kPduNone;
  ErrorStatus = -1;
  ErrorIndex = 0;
  NonRepeaters = 0;
  MaxRepetitions = 0;
  Enterprise.clear();
  AgentAddress = 0;
  GenericTrap = 0;
  SpecificTrap = 0;
  TimeStamp = 0;
  MsgMaxSize = maxPacketSize;
  MsgFlags = 0;
  SecurityModel = 3;
  AuthEngineId.clear();
  EngineBoots = 0;
  EngineTime = 0;
  AuthParams.clear();
  PrivParams.clear();
  ContextEngineId.clear();
  ContextName.clear();
  SecurityLevel = 0;
  AuthParamsOffset = 0;
  EncryptedOffset = 0;
  EncryptedSize = 0;
}

void TSnmpMessage::Clear() {
  Reset(0);
  Version = 0;
  Community.clear();
  RequestId = 0;
  MsgId = 0;
  SecurityModel = 0;
  UserName.clear();
}

int BuildMessage(int action, TSnmpMessage& msg, TObjectTable& objects, TByteBuffer& out,
                 std::string& errorText, const TUsmCredentials* v3) {
  if (action < kActionGetRequest || action > kActionReport2) {
    errorText = kTextBadAction;
    return kErrBadAction;
  }
  try {
    out.clear();
    const int32_t requestId = msg.RequestId;
    const int rc = msg.Version == kSnmpV3
                       ? BuildV3Message(action, msg, objects, out, errorText, v3)
                       : BuildCommunityMessage(action, msg, objects, out, errorText);
    if (rc != kErrNone) {
      out.clear();
      return rc;
    }
    // Every PDU but the SNMPv1 Trap carries a request-id, and the next message takes the next.
    if (msg.PduType != kPduTrapV1) {
      msg.RequestId = static_cast<int32_t>(static_cast<uint32_t>(requestId) + 1);
    }
    return kErrNone;
  } catch (const std::bad_alloc&) {
    out.clear();
    errorText = kTextOutOfMemory;
    return kErrOutOfMemory;
  }
}

int ParseMessage(const uint8_t* data, size_t size, TSnmpMessage& msg, TObjectTable& objects) {
  try {
    msg.Clear();
    objects.SetCount(0);
    return ParseChecked(data, size, msg, objects);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

int DecryptScopedPdu(const uint8_t* data, size_t size, TSnmpMessage& msg, TObjectTable& objects,
                     TUsmKeys& keys, TByteBuffer& plain) {
  try {
    objects.SetCount(0);
    if (!(msg.MsgFlags & 2) || msg.EncryptedOffset > size ||
        size - msg.EncryptedOffset < msg.EncryptedSize) {
      return kErrDecryption;
    }
    if (!keys.Decrypt(data + msg.EncryptedOffset, msg.EncryptedSize, msg.EngineBoots,
                      msg.EngineTime, msg.PrivParams.data(), msg.PrivParams.size(), plain)) {
      return kErrDecryption;
    }
    // A wrong key yields noise: when the scoped PDU does not even start as a SEQUENCE, that is
    // what the failure is; a SEQUENCE cut short is a message that cannot be parsed. DES pads
    // behind the SEQUENCE; the pad is not read.
    if (plain.size() == 0 || plain.data()[0] != 0x30) return kErrDecryption;
    ber::TCursor cursor(plain.data(), plain.data() + plain.size());
    ber::TElement scoped;
    if (const int code = cursor.Next(scoped); code != kErrNone) return code;
    return ParseScopedPdu(scoped, msg, objects);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

bool OidToBer(std::string_view text, TByteBuffer& out) {
  TOidEncoder encoder;
  const bool ok = encoder.Encode(text);
  out.assign(encoder.data(), ok ? encoder.size() : 0);
  return ok;
}

bool BerToOid(const uint8_t* content, size_t size, TByteBuffer& out) {
  TOidDecoder decoder;
  return decoder.Decode(content, size, out);
}

bool RenderValue(int tag, const uint8_t* content, size_t size, TByteBuffer& out) {
  out.clear();
  switch (tag) {
    case kTagInteger:
    case kTagCounter32:
    case kTagGauge32:
    case kTagTimeTicks:
    case kTagUInteger32:
    case kTagCounter64: {
      uint64_t magnitude = 0;
      bool negative = false;
      if (!DecodeNumber(tag, content, size, magnitude, negative)) return false;
      AppendNumberText(out, magnitude, negative);
      return true;
    }
    case kTagIpAddress:
      if (size < 4) return false;
      for (int i = 0; i < 4; ++i) {
        if (i > 0) out.push_back('.');
        AppendUnsignedText(out, content[i]);
      }
      return true;
    case kTagOid:
      return BerToOid(content, size, out);
    case kTagNull:
      return true;
    case kTagNoSuchObject:
      out.append(std::string_view("error: noSuchObject"));
      return true;
    case kTagNoSuchInstance:
      out.append(std::string_view("error: noSuchInstance"));
      return true;
    case kTagEndOfMibView:
      out.append(std::string_view("error: endOfMibView"));
      return true;
    default:
      out.assign(content, size);
      return true;
  }
}

void NumberFromText(TSnmpObject& object) {
  const std::string_view text = object.Value.view();
  object.Magnitude = 0;
  object.Negative = false;
  switch (object.Type) {
    case kTagInteger: {
      // Sent as a signed 32-bit value (BuildValue).
      const int64_t value = static_cast<int32_t>(LeadingDecimal32(text));
      object.Negative = value < 0;
      object.Magnitude = static_cast<uint64_t>(value < 0 ? -value : value);
      return;
    }
    case kTagCounter32:
    case kTagGauge32:
    case kTagTimeTicks:
    case kTagUInteger32:
      object.Magnitude = LeadingDecimal32(text);
      return;
    case kTagCounter64:
      object.Magnitude = LeadingDigits64(text);
      return;
    default:
      return;
  }
}

}  // namespace kestrava

// Building and parsing SNMPv1/SNMPv2c messages: exact bytes, value forms, OID text rules,
// and the typed errors of malformed input.

#include "snmp/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "snmp/ber.h"
#include "tests/snmp/codec_test_util.h"

namespace kestrava {
namespace {

using testing::Hex;
using testing::ToHex;

// Fills the table with the given OIDs (and values, typed as given).
void SetObjects(TObjectTable& objects, const std::vector<std::string>& oids, int32_t type = 4,
                const std::vector<std::string>& values = {}) {
  objects.SetCount(static_cast<int>(oids.size()));
  for (size_t i = 0; i < oids.size(); ++i) {
    TSnmpObject& object = objects.At(static_cast<int>(i + 1));
    object.Id.assign(oids[i]);
    object.Type = type;
    object.Value.assign(i < values.size() ? values[i] : std::string());
  }
}

std::string Build(int action, TSnmpMessage& msg, TObjectTable& objects) {
  TByteBuffer out;
  std::string error;
  const int rc = BuildMessage(action, msg, objects, out, error);
  EXPECT_EQ(rc, 0) << error;
  return ToHex(out);
}

TEST(CodecBuild, GetRequestAndGetNextMatchTheReferenceBytes) {
  TSnmpMessage msg;
  msg.Reset();
  msg.Version = kSnmpV2c;
  msg.RequestId = 5;
  TObjectTable objects;
  SetObjects(objects, {"1.3.6.1.2.1.1.3.0"});
  EXPECT_EQ(Build(kActionGetRequest, msg, objects),
            "30 20 02 01 01 04 00 A0 19 02 01 05 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 "
            "01 01 03 00 05 00");
  EXPECT_EQ(msg.RequestId, 6);
  EXPECT_EQ(objects.At(1).Type, kTagNull);

  // The same request as a get-next after a reset: A1, and NULL as the value too, whatever the
  // table held (an OCTET STRING "x" here), as every manager asks.
  msg.Reset();
  msg.RequestId = 5;
  objects.SetCount(0);
  SetObjects(objects, {"1.3.6.1.2.1.1.3.0"}, kTagOctetString, {"x"});
  EXPECT_EQ(Build(kActionGetNextRequest, msg, objects),
            "30 20 02 01 01 04 00 A1 19 02 01 05 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 01 02 "
            "01 01 03 00 05 00");
  EXPECT_EQ(objects.At(1).Type, kTagNull);
  // And a get-bulk: A5, non-repeaters and max-repetitions in place of the error fields.
  msg.Reset();
  msg.RequestId = 5;
  msg.NonRepeaters = 0;
  msg.MaxRepetitions = 10;
  SetObjects(objects, {"1.3.6.1.2.1.1.3.0"}, kTagInteger, {"7"});
  EXPECT_EQ(Build(kActionGetBulkRequest, msg, objects),
            "30 20 02 01 01 04 00 A5 19 02 01 05 02 01 00 02 01 0A 30 0E 30 0C 06 08 2B 06 01 02 "
            "01 01 03 00 05 00");
  // A set carries the values, of course.
  msg.Reset();
  SetObjects(objects, {"1.3.6.1.2.1.1.3.0"}, kTagInteger, {"7"});
  EXPECT_NE(Build(kActionSetRequest, msg, objects).find("02 01 07"), std::string::npos);
}

TEST(CodecBuild, RequestIdAdvancesAndWraps) {
  TSnmpMessage msg;
  TObjectTable objects;
  msg.RequestId = 100;
  Build(kActionGetRequest, msg, objects);
  EXPECT_EQ(msg.RequestId, 101);
  Build(kActionGetNextRequest, msg, objects);
  EXPECT_EQ(msg.RequestId, 102);
  msg.RequestId = INT32_MAX;
  Build(kActionGetRequest, msg, objects);
  EXPECT_EQ(msg.RequestId, INT32_MIN);
}

TEST(CodecBuild, BadActionIsRefused) {
  TSnmpMessage msg;
  TObjectTable objects;
  TByteBuffer out;
  std::string error;
  for (const int action : {0, 12, -1}) {
    EXPECT_EQ(BuildMessage(action, msg, objects, out, error), 304);
    EXPECT_EQ(error, "Invalid Action code");
  }
  EXPECT_EQ(msg.RequestId, 1);
}

// A SEQUENCE from 128 octets on takes 82 and two octets; the PDU and primitives take 81 up to 255.
TEST(CodecBuild, LengthFormsFollowTheTwoRules) {
  TSnmpMessage msg;
  msg.Version = kSnmpV1;
  msg.Community.assign("public");
  msg.RequestId = 1;
  TObjectTable objects;
  // One OCTET STRING value, sized so that the whole message content is 200 octets.
  for (size_t valueSize = 100; valueSize < 200; ++valueSize) {
    msg.RequestId = 1;
    SetObjects(objects, {"1.3.6.1.2.1.1.5.0"}, kTagOctetString, {std::string(valueSize, 'x')});
    TByteBuffer out;
    std::string error;
    ASSERT_EQ(BuildMessage(kActionSetRequest, msg, objects, out, error), 0);
    if (out.size() != 204) continue;
    // The message and the binding list and binding (SEQUENCEs) take 82 hh ll; the PDU and
    // the value take 81 ll.
    const std::string prefix =
        "30 82 00 C8 02 01 00 04 06 70 75 62 6C 69 63 A3 81 BA 02 01 01 02 01 00 02 01 00 30 82 "
        "00 AD 30 82 00 A9 06 08 2B 06 01 02 01 01 05 00 04 81 9C 78";
    EXPECT_EQ(ToHex(out).substr(0, prefix.size()), prefix);
    return;
  }
  FAIL() << "no value size gave a 200-octet message content";
}

TEST(CodecBuild, LengthsOver255UseTwoOctets) {
  TSnmpMessage msg;
  TObjectTable objects;
  SetObjects(objects, {"1.3"}, kTagOctetString, {std::string(300, 'y')});
  TByteBuffer out;
  std::string error;
  ASSERT_EQ(BuildMessage(kActionSetRequest, msg, objects, out, error), 0);
  const std::string hex = ToHex(out);
  EXPECT_NE(hex.find("04 82 01 2C 79 79"), std::string::npos);
}

TEST(CodecBuild, MessagePast65535OctetsIsNotBuilt) {
  TSnmpMessage msg;
  TObjectTable objects;
  SetObjects(objects, {"1.3", "1.3"}, kTagOctetString,
             {std::string(40000, 'a'), std::string(40000, 'b')});
  TByteBuffer out;
  std::string error;
  EXPECT_EQ(BuildMessage(kActionSetRequest, msg, objects, out, error), 446);
  EXPECT_EQ(error, "Error building SNMP PDU.");
  EXPECT_EQ(out.size(), 0u);
  EXPECT_EQ(msg.RequestId, 1) << "a message that was not built takes no request-id";
}

struct ValueCase {
  int32_t type;
  std::string text;
  std::string encoded;  // tag, length and content
};

TEST(CodecBuild, ValuesTakeTheirFixedForms) {
  const std::vector<ValueCase> cases = {
      {kTagInteger, "0", "02 01 00"},
      {kTagInteger, "127", "02 01 7F"},
      {kTagInteger, "128", "02 02 00 80"},
      {kTagInteger, "-1", "02 01 FF"},
      {kTagInteger, "-128", "02 01 80"},
      {kTagInteger, "-129", "02 02 FF 7F"},
      {kTagInteger, "2147483647", "02 04 7F FF FF FF"},
      {kTagInteger, "-2147483648", "02 04 80 00 00 00"},
      {kTagInteger, "4294967295", "02 01 FF"},  // wraps to 32 bits
      {kTagInteger, "12abc", "02 01 0C"},       // digits up to the first non-digit
      {kTagInteger, "", "02 01 00"},
      {kTagInteger, " 5", "02 01 00"},  // no blanks skipped
      {kTagInteger, "+5", "02 01 00"},
      {kTagCounter32, "5", "41 04 00 00 00 05"},
      {kTagCounter32, "0", "41 04 00 00 00 00"},
      {kTagCounter32, "4294967295", "41 05 00 FF FF FF FF"},
      {kTagCounter32, "2147483648", "41 05 00 80 00 00 00"},
      {kTagGauge32, "1000", "42 04 00 00 03 E8"},
      {kTagTimeTicks, "360000", "43 04 00 05 7E 40"},
      {kTagUInteger32, "7", "47 04 00 00 00 07"},
      {kTagCounter64, "0", "46 01 00"},
      {kTagCounter64, "255", "46 02 00 FF"},
      {kTagCounter64, "9223372036854775807", "46 08 7F FF FF FF FF FF FF FF"},
      {kTagCounter64, "18446744073709551615", "46 09 00 FF FF FF FF FF FF FF FF"},
      {kTagCounter64, "-5", "46 01 00"},
      {kTagIpAddress, "10.1.2.3", "40 04 0A 01 02 03"},
      {kTagIpAddress, "localhost", "40 04 FF FF FF FF"},
      {kTagIpAddress, "1.2.3", "40 04 FF FF FF FF"},
      {kTagIpAddress, "1.2.3.256", "40 04 FF FF FF FF"},
      {kTagOid, "1.3.6.1.4.1.311", "06 07 2B 06 01 04 01 82 37"},
      {kTagNull, "ignored", "05 00"},
      {kTagNoSuchObject, "x", "80 00"},
      {kTagNoSuchInstance, "x", "81 00"},
      {kTagEndOfMibView, "x", "82 00"},
      {kTagOctetString, std::string("a\0b", 3), "04 03 61 00 62"},
      {kTagOpaque, "\x9f\x78", "44 02 9F 78"},
      {0x4A, "zz", "4A 02 7A 7A"},  // any other tag: the bytes as they are
  };
  for (const ValueCase& c : cases) {
    TSnmpMessage msg;
    msg.RequestId = 1;
    TObjectTable objects;
    SetObjects(objects, {"1.3"}, c.type, {c.text});
    const std::string hex = Build(kActionSetRequest, msg, objects);
    // The binding is the last element: 30 len 06 01 2B value.
    const std::string tail = "06 01 2B " + c.encoded;
    EXPECT_EQ(hex.substr(hex.size() - tail.size()), tail) << c.type << " " << c.text;
  }
}

TEST(CodecBuild, TagsThatCannotBeWrittenFailThePdu) {
  for (const int32_t type : {0x1F, 0x3F, 256, -1}) {
    TSnmpMessage msg;
    TObjectTable objects;
    SetObjects(objects, {"1.3"}, type, {"x"});
    TByteBuffer out;
    std::string error;
    EXPECT_EQ(BuildMessage(kActionSetRequest, msg, objects, out, error), 446) << type;
    EXPECT_EQ(error, "Error building SNMP PDU.");
  }
}

struct OidCase {
  std::string text;
  std::string content;  // empty: refused
};

TEST(CodecOid, TextToBer) {
  const std::vector<OidCase> cases = {
      {"1.3.6.1.2.1.1.3.0", "2B 06 01 02 01 01 03 00"},
      {"1.3.6.1.4.1.311", "2B 06 01 04 01 82 37"},
      {"1.3.6.1.", "2B 06 01 00"},  // trailing dot: a last arc 0
      {".1.3", "01 03"},            // leading dot: first arc 0
      {"", "00"},                   // one arc: the single octet 00
      {"7", "00"},
      {"1..3", "28 03"},  // empty arc counts as 0
      {"2.999", "88 37"},
      {"1.3.4294967295", "2B 8F FF FF FF 7F"},
      {"1.3.4294967296", ""},  // an arc past 32 bits
  };
  for (const OidCase& c : cases) {
    TByteBuffer out;
    const bool ok = OidToBer(c.text, out);
    if (c.content.empty()) {
      EXPECT_FALSE(ok) << c.text;
    } else {
      EXPECT_TRUE(ok) << c.text;
      EXPECT_EQ(ToHex(out), c.content) << c.text;
    }
  }
}

// Whatever the decoder reads, the encoder writes again: up to 256 arcs of up to 2^32-1 (the
// content of such an OID passes 128 octets by far).
TEST(CodecOid, EveryOidThatDecodesEncodes) {
  struct Case {
    std::string name;
    std::string text;
    size_t octets;
  };
  std::string big = "2.4294967295";
  for (int i = 2; i < 128; ++i) big += ".4294967295";  // 128 arcs of 2^32-1
  std::string most = "1.3";
  for (int i = 2; i < 256; ++i) most += ".4294967295";  // 256 arcs
  std::string ones = "1.3";
  for (int i = 2; i < 128; ++i) ones += ".1";  // 128 arcs, 127 octets
  const std::vector<Case> cases = {
      {"128 arcs of one octet and one more", ones + ".1", 128},
      {"129 octets", ones + ".1.1", 129},
      {"128 arcs of 2^32-1", big, 5 + 126 * 5},
      {"256 arcs", most, 1 + 254 * 5},
  };
  for (const Case& c : cases) {
    TByteBuffer out;
    ASSERT_TRUE(OidToBer(c.text, out)) << c.name;
    EXPECT_EQ(out.size(), c.octets) << c.name;
    TByteBuffer back;
    ASSERT_TRUE(BerToOid(out.data(), out.size(), back)) << c.name;
    EXPECT_EQ(back.view(), c.text) << c.name;
  }
  TByteBuffer out;
  EXPECT_FALSE(OidToBer(most + ".1", out)) << "257 arcs";
  EXPECT_FALSE(OidToBer("1.3.4294967296", out)) << "an arc past 32 bits";
}

TEST(CodecOid, BerToText) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"2B 06 01 02 01 01 03 00", "1.3.6.1.2.1.1.3.0"},
      {"2B 06 01 04 01 82 37", "1.3.6.1.4.1.311"},
      {"00", "0.0"},
      {"27", "0.39"},
      {"4F", "1.39"},
      {"50", "2.0"},
      {"88 37", "2.999"},
      {"2B 8F FF FF FF 7F", "1.3.4294967295"},
      {"", ""},
  };
  for (const auto& [hex, text] : cases) {
    const auto bytes = Hex(hex);
    TByteBuffer out;
    EXPECT_TRUE(BerToOid(bytes.data(), bytes.size(), out)) << hex;
    EXPECT_EQ(out.view(), text) << hex;
  }
  for (const std::string hex : {"2B 90 80 80 80 00", "2B 06 81", "2B FF FF FF FF FF 7F"}) {
    const auto bytes = Hex(hex);
    TByteBuffer out;
    EXPECT_FALSE(BerToOid(bytes.data(), bytes.size(), out)) << hex;
  }
}

TEST(CodecOid, AtMost256ArcsAreRead) {
  std::vector<uint8_t> content(300, 0x01);
  content[0] = 0x2B;
  TByteBuffer out;
  ASSERT_TRUE(BerToOid(content.data(), content.size(), out));
  size_t dots = 0;
  for (const uint8_t c : out.view()) dots += c == '.';
  EXPECT_EQ(dots + 1, 256u);
}

// The OID contents of the bindings of a built SNMPv1/v2c message, in hex.
std::vector<std::string> BoundOids(const TByteBuffer& message) {
  std::vector<std::string> oids;
  ber::TElement element;
  ber::TCursor datagram(message.data(), message.data() + message.size());
  EXPECT_EQ(datagram.Next(element), 0);
  ber::TCursor fields(element);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(fields.Next(element), 0);  // version, community, PDU
  ber::TCursor pdu(element);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pdu.Next(element), 0);  // three fields, the list
  ber::TCursor list(element);
  while (!list.AtEnd()) {
    EXPECT_EQ(list.Next(element), 0);
    ber::TCursor binding(element);
    EXPECT_EQ(binding.Next(element), 0);
    oids.push_back(ToHex(element.Content, element.Length));
  }
  return oids;
}

// Encodes texts as one GetRequest and checks every binding against the text encoded alone:
// the octets an OID shares with the one before it are reused, never carried over wrongly.
void ExpectEachOidAsAlone(const std::vector<std::string>& texts) {
  TSnmpMessage msg;
  TObjectTable objects;
  SetObjects(objects, texts);
  std::vector<std::string> alone;
  bool all = true;
  for (const std::string& text : texts) {
    TByteBuffer content;
    all = all && OidToBer(text, content);
    alone.push_back(ToHex(content));
  }
  TByteBuffer out;
  std::string error;
  const int rc = BuildMessage(kActionGetRequest, msg, objects, out, error);
  std::string joined;
  for (const std::string& text : texts) joined += text + " | ";
  if (!all) {
    EXPECT_EQ(rc, 446) << joined;
    return;
  }
  ASSERT_EQ(rc, 0) << joined;
  EXPECT_EQ(BoundOids(out), alone) << joined;
}

TEST(CodecOid, OidsOfOneRequestEncodeAsEachAlone) {
  const std::vector<std::vector<std::string>> sequences = {
      {"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.2.2.1.10.2", "1.3.6.1.2.1.2.2.1.16.2",
       "1.3.6.1.2.1.2.2.1.10.12", "1.3.6.1.2.1.2.2.1.10.1"},
      {"1.3.6.1.2.1.1.3.0", "1.3.6.1.2.1.1.3.0"},
      {"1.3.6.1.4.1.311", "1.3.6.1.4.1.3", "1.3.6.1.4.1.31100", "1.3.6.1.4.1.3110"},
      {"1.3.6.1", "1.3.6.1.2.1", "1.3.6", "1.3", "1", "1.3.6.1", "", "1.3.6.1."},
      {"1.3.6", "1.3x6", "1.3.6.", "1.3.6..1", ".1.3", "..1.3"},
      {"1.3.6.1", "2.3.6.1", "1.39.6.1", "1.3.6.1", "2.999.1", "2.9999.1"},
      {"1.3.6.1.4294967295", "1.3.6.1.429496729", "1.3.6.1.4294967295.1"},
      {"1.3.6.1.2", "1.3.6.1.4294967296"},     // the second fails after a shared prefix
      {"1.3.6.1.2", "1.3.6.1.2.99999999999"},  // and so does a longer one
  };
  for (const auto& texts : sequences) ExpectEachOidAsAlone(texts);

  // Near the limits: 128 octets reached through a shared prefix, then one octet more.
  std::string arcs = "1.3";
  for (int i = 2; i < 128; ++i) arcs += ".1";
  ExpectEachOidAsAlone({arcs, arcs + ".1", arcs + ".1.1", arcs + ".2", arcs});
  std::string many = "0.0";
  for (int i = 2; i < 256; ++i) many += ".0";
  ExpectEachOidAsAlone({many.substr(0, 300), many, many + ".0", many});
}

TEST(CodecOid, RandomNeighbouringOidsEncodeAsEachAlone) {
  // Each text is cut from the one before at a random place and continued with digits and
  // separators, so that shared prefixes end everywhere: inside arcs, on separators, at ends.
  std::mt19937 random(20240611);
  const std::string alphabet = "0123456789..........x";
  std::string text = "1.3.6.1.2.1";
  for (int round = 0; round < 400; ++round) {
    std::vector<std::string> texts;
    for (int i = 0; i < 12; ++i) {
      text.resize(std::uniform_int_distribution<size_t>(0, text.size())(random));
      const int extra = std::uniform_int_distribution<int>(0, 12)(random);
      for (int k = 0; k < extra; ++k) {
        text += alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(random)];
      }
      texts.push_back(text);
    }
    ExpectEachOidAsAlone(texts);
  }
}

// ---- parsing ----

// A v2c Response with request-id 7 and the given bindings (each "06 .. value").
std::vector<uint8_t> Response(const std::vector<std::string>& bindings, int version = 1) {
  TByteBuffer list;
  for (const std::string& b : bindings) {
    const auto bytes = Hex(b);
    list.push_back(0x30);
    list.push_back(static_cast<uint8_t>(bytes.size()));
    list.append(bytes.data(), bytes.size());
  }
  std::vector<uint8_t> pdu = Hex("02 01 07 02 01 00 02 01 00");
  auto append = [](std::vector<uint8_t>& to, uint8_t tag, const uint8_t* data, size_t size) {
    to.push_back(tag);
    if (size >= 256) {
      to.push_back(0x82);
      to.push_back(static_cast<uint8_t>(size >> 8));
    } else if (size >= 128) {
      to.push_back(0x81);
    }
    to.push_back(static_cast<uint8_t>(size));
    to.insert(to.end(), data, data + size);
  };
  append(pdu, 0x30, list.data(), list.size());
  std::vector<uint8_t> body = {0x02, 0x01, static_cast<uint8_t>(version), 0x04, 0x06};
  const std::string community = "cobalt";
  body.insert(body.end(), community.begin(), community.end());
  append(body, 0xA2, pdu.data(), pdu.size());
  std::vector<uint8_t> message;
  append(message, 0x30, body.data(), body.size());
  return message;
}

struct RenderCase {
  std::string binding;
  int32_t type;
  std::string value;
  uint64_t magnitude = 0;  // numeric types: the number decoded, kept beside the text
  bool negative = false;
};

// One element with any content length (82 hh ll from 256 on, 81 ll from 128 on).
std::vector<uint8_t> Tlv(uint8_t tag, const std::vector<uint8_t>& content) {
  std::vector<uint8_t> out = {tag};
  const size_t size = content.size();
  if (size >= 256) {
    out.push_back(0x82);
    out.push_back(static_cast<uint8_t>(size >> 8));
  } else if (size >= 128) {
    out.push_back(0x81);
  }
  out.push_back(static_cast<uint8_t>(size));
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

// Parses the OID contents as the bindings of one Response (values NULL) and checks every
// binding's text against the content decoded alone, up to and including a faulty one.
void ExpectEachTextAsAlone(const std::vector<std::vector<uint8_t>>& contents) {
  std::vector<uint8_t> list;
  for (const auto& content : contents) {
    std::vector<uint8_t> binding = Tlv(0x06, content);
    binding.push_back(0x05);
    binding.push_back(0x00);
    const auto element = Tlv(0x30, binding);
    list.insert(list.end(), element.begin(), element.end());
  }
  std::vector<uint8_t> pdu = Hex("02 01 07 02 01 00 02 01 00");
  const auto bindings = Tlv(0x30, list);
  pdu.insert(pdu.end(), bindings.begin(), bindings.end());
  std::vector<uint8_t> body = Hex("02 01 01 04 06 63 6F 62 61 6C 74");
  const auto pduElement = Tlv(0xA2, pdu);
  body.insert(body.end(), pduElement.begin(), pduElement.end());
  const auto datagram = Tlv(0x30, body);

  std::string joined;
  for (const auto& content : contents) joined += ToHex(content) + " | ";
  TSnmpMessage msg;
  TObjectTable objects;
  const int rc = ParseMessage(datagram.data(), datagram.size(), msg, objects);
  int expectedCount = 0;
  bool all = true;
  for (const auto& content : contents) {
    ++expectedCount;
    TByteBuffer alone;
    const bool ok = BerToOid(content.data(), content.size(), alone);
    ASSERT_GE(objects.Count(), expectedCount) << joined;
    EXPECT_EQ(objects.At(expectedCount).Id.view(), alone.view()) << joined;
    if (!ok) {
      all = false;
      break;
    }
  }
  EXPECT_EQ(rc, all ? 0 : 446) << joined;
  EXPECT_EQ(objects.Count(), expectedCount) << joined;
}

TEST(CodecOid, OidsOfOneResponseReadAsEachAlone) {
  const std::vector<std::vector<std::string>> sequences = {
      {"2B 06 01 02 01 02 02 01 0A 01", "2B 06 01 02 01 02 02 01 0A 02",
       "2B 06 01 02 01 02 02 01 10 02", "2B 06 01 02 01 02 02 01 0A 01"},
      {"2B 06 01 04 01 82 37", "2B 06 01 04 01 82 37 01", "2B 06 01 04 01 82 38",
       "2B 06 01 04 01 82", "2B 06 01 04 01 83 37"},  // the fourth is cut short
      {"2B 06 01", "2B 06 01 02 01", "2B 06", "2B", "", "2B 06 01", "00", "2B 06 01"},
      {"2B 06 01", "2C 06 01", "88 37 01", "88 38 01", "88 37 01"},
      {"2B 06 01 8F FF FF FF 7F", "2B 06 01 8F FF FF FF 7F 01", "2B 06 01 8F FF FF FF 7E"},
      {"2B 06 01 02", "2B 06 01 90 80 80 80 00"},  // past 32 bits after a shared prefix
  };
  for (const auto& sequence : sequences) {
    std::vector<std::vector<uint8_t>> contents;
    for (const std::string& hex : sequence) contents.push_back(Hex(hex));
    ExpectEachTextAsAlone(contents);
  }
  // At the limit of 256 arcs, reached again through a shared prefix.
  std::vector<uint8_t> long_(300, 0x01);
  long_[0] = 0x2B;
  std::vector<uint8_t> longer = long_;
  longer[280] = 0x02;
  std::vector<uint8_t> shorter(long_.begin(), long_.begin() + 254);
  ExpectEachTextAsAlone({long_, longer, shorter, long_});
}

TEST(CodecOid, RandomNeighbouringContentsReadAsEachAlone) {
  // Each content is cut from the one before at a random place and continued with octets that
  // end or continue sub-identifiers, so shared prefixes end everywhere; some contents end cut
  // short or pass 32 bits.
  std::mt19937 random(20240612);
  std::vector<uint8_t> content = Hex("2B 06 01 02 01");
  for (int round = 0; round < 400; ++round) {
    std::vector<std::vector<uint8_t>> contents;
    for (int i = 0; i < 12; ++i) {
      content.resize(std::uniform_int_distribution<size_t>(0, content.size())(random));
      const int extra = std::uniform_int_distribution<int>(0, 8)(random);
      for (int k = 0; k < extra; ++k) {
        const int kind = std::uniform_int_distribution<int>(0, 9)(random);
        content.push_back(static_cast<uint8_t>(
            kind < 7 ? std::uniform_int_distribution<int>(0, 0x7F)(random)
                     : std::uniform_int_distribution<int>(0x80, 0xFF)(random)));
      }
      if (content.size() > 100) content.resize(100);
      contents.push_back(content);
    }
    ExpectEachTextAsAlone(contents);
  }
}

TEST(CodecParse, ValuesRenderAsTextAndNumbersKeepTheirValue) {
  const std::vector<RenderCase> cases = {
      {"06 01 2B 02 01 FF", kTagInteger, "-1", 1, true},
      {"06 01 2B 02 01 7F", kTagInteger, "127", 127},
      {"06 01 2B 02 00", kTagInteger, "0"},
      {"06 01 2B 02 04 80 00 00 00", kTagInteger, "-2147483648", 2147483648u, true},
      {"06 01 2B 02 05 00 FF FF FF FF", kTagInteger, "4294967295", 4294967295u},
      {"06 01 2B 41 05 00 FF FF FF FF", kTagCounter32, "4294967295", 4294967295u},
      {"06 01 2B 41 04 FF FF FF FF", kTagCounter32, "4294967295", 4294967295u},
      {"06 01 2B 41 01 05", kTagCounter32, "5", 5},
      {"06 01 2B 42 02 03 E8", kTagGauge32, "1000", 1000},
      {"06 01 2B 43 04 00 05 7E 40", kTagTimeTicks, "360000", 360000},
      {"06 01 2B 47 01 07", kTagUInteger32, "7", 7},
      {"06 01 2B 46 08 7F FF FF FF FF FF FF FF", kTagCounter64, "9223372036854775807",
       9223372036854775807u},
      {"06 01 2B 46 09 00 FF FF FF FF FF FF FF FF", kTagCounter64, "18446744073709551615",
       18446744073709551615u},
      {"06 01 2B 46 01 00", kTagCounter64, "0"},
      {"06 01 2B 40 04 7F 00 00 01", kTagIpAddress, "127.0.0.1"},
      {"06 01 2B 40 05 0A 00 00 01 09", kTagIpAddress, "10.0.0.1"},
      {"06 01 2B 06 03 2B 06 01", kTagOid, "1.3.6.1"},
      {"06 01 2B 05 00", kTagNull, ""},
      {"06 01 2B 80 00", kTagNoSuchObject, "error: noSuchObject"},
      {"06 01 2B 81 00", kTagNoSuchInstance, "error: noSuchInstance"},
      {"06 01 2B 82 00", kTagEndOfMibView, "error: endOfMibView"},
      {"06 01 2B 04 03 61 00 62", kTagOctetString, std::string("a\0b", 3)},
      {"06 01 2B 44 02 9F 78", kTagOpaque, "\x9f\x78"},
      {"06 01 2B 04 81 05 68 65 6C 6C 6F", kTagOctetString, "hello"},  // non-shortest length
  };
  for (const RenderCase& c : cases) {
    const auto bytes = Response({c.binding});
    TSnmpMessage msg;
    TObjectTable objects;
    ASSERT_EQ(ParseMessage(bytes.data(), bytes.size(), msg, objects), 0) << c.binding;
    ASSERT_EQ(objects.Count(), 1);
    EXPECT_EQ(objects.At(1).Id.view(), "1.3");
    EXPECT_EQ(objects.At(1).Type, c.type) << c.binding;
    EXPECT_EQ(objects.At(1).Value.view(), c.value) << c.binding;
    EXPECT_EQ(objects.At(1).Value.size(), c.value.size());
    EXPECT_EQ(objects.At(1).Magnitude, c.magnitude) << c.binding;
    EXPECT_EQ(objects.At(1).Negative, c.negative) << c.binding;
  }
}

TEST(CodecParse, NumbersAtEveryDigitBoundaryRenderAsDecimal) {
  // Big-endian content octets of a value, with the leading 00 of a Counter64 of nine.
  auto octets = [](uint64_t value) {
    std::vector<uint8_t> content = {0};
    for (int shift = 56; shift >= 0; shift -= 8) content.push_back(uint8_t(value >> shift));
    return content;
  };
  std::vector<uint64_t> values = {0, 1, 0xFFFFFFFFu, 0x100000000u, ~uint64_t{0}};
  uint64_t power = 1;
  for (int digits = 1; digits <= 19; ++digits) {
    power *= 10;  // 10^19 is the largest power of ten in 64 bits
    values.insert(values.end(), {power - 1, power, power + 1});
  }
  for (const uint64_t value : values) {
    const auto content = octets(value);
    TByteBuffer text;
    ASSERT_TRUE(RenderValue(kTagCounter64, content.data(), content.size(), text)) << value;
    EXPECT_EQ(text.view(), std::to_string(value));
    // The same magnitude as a signed INTEGER of eight octets, both signs.
    if (value <= uint64_t{INT64_MAX}) {
      for (const int64_t signedValue : {int64_t(value), -int64_t(value)}) {
        const auto bits = octets(uint64_t(signedValue));
        ASSERT_TRUE(RenderValue(kTagInteger, bits.data() + 1, 8, text)) << signedValue;
        EXPECT_EQ(text.view(), std::to_string(signedValue));
      }
    }
  }
}

TEST(CodecParse, ResponseFieldsAreRead) {
  const auto bytes = Hex(
      "30 29 02 01 00 04 06 63 6F 62 61 6C 74 A2 1C 02 04 00 01 E2 40 02 01 02 02 01 01 30 0E 30 "
      "0C 06 08 2B 06 01 02 01 01 03 00 05 00");
  TSnmpMessage msg;
  TObjectTable objects;
  ASSERT_EQ(ParseMessage(bytes.data(), bytes.size(), msg, objects), 0);
  EXPECT_EQ(msg.Version, kSnmpV1);
  EXPECT_EQ(msg.Community.view(), "cobalt");
  EXPECT_EQ(msg.PduType, kPduResponse);
  EXPECT_EQ(msg.RequestId, 123456);
  EXPECT_EQ(msg.ErrorStatus, 2);
  EXPECT_EQ(msg.ErrorIndex, 1);
  EXPECT_EQ(objects.Count(), 1);
  EXPECT_EQ(objects.At(1).Id.view(), "1.3.6.1.2.1.1.3.0");
}

struct FaultCase {
  std::string name;
  std::string hex;
  int rc;
};

TEST(CodecParse, MalformedMessagesGiveTypedErrors) {
  const std::vector<FaultCase> cases = {
      {"empty datagram", "", 447},
      {"version 2", "30 0B 02 01 02 04 00 A0 04 02 01 01 30 00", 305},
      {"version -1", "30 0B 02 01 FF 04 00 A0 04 02 01 01 30 00", 305},
      {"PDU tag A9", "30 10 02 01 01 04 00 A9 09 02 01 01 02 01 00 02 01 00", 306},
      {"PDU tag 30", "30 10 02 01 01 04 00 30 09 02 01 01 02 01 00 02 01 00", 306},
      {"multi-octet tag", "30 05 1F 81 00 01 00", 446},
      {"indefinite length", "30 80 02 01 01 00 00", 446},
      {"five-octet length", "30 85 00 00 00 00 03 02 01 01", 446},
      {"message runs past the datagram", "30 10 02 01 01", 446},
      {"version runs past the message", "30 03 02 05 01 04 00", 446},
      {"integer of five octets", "30 0B 02 05 00 00 00 00 01 04 00 A0 00", 446},
      {"request-id of five octets",
       "30 1A 02 01 01 04 00 A0 13 02 05 00 00 00 00 01 02 01 00 02 01 00 30 00", 446},
      {"no community", "30 03 02 01 01", 447},
      {"no PDU", "30 05 02 01 01 04 00", 447},
      {"no binding list", "30 10 02 01 01 04 00 A2 09 02 01 01 02 01 00 02 01 00", 447},
      {"binding without a value",
       "30 16 02 01 01 04 00 A2 0F 02 01 01 02 01 00 02 01 00 30 04 30 02 06 00", 447},
      {"OID sub-identifier past 32 bits",
       "30 1E 02 01 01 04 00 A2 17 02 01 01 02 01 00 02 01 00 30 0C 30 0A 06 06 2B 90 80 80 80 00 "
       "05 00",
       446},
      {"Counter64 of nine octets without a leading 00",
       "30 22 02 01 01 04 00 A2 1B 02 01 01 02 01 00 02 01 00 30 10 30 0E 06 01 2B 46 09 01 00 00 "
       "00 00 00 00 00 00",
       446},
      {"Counter32 of six octets",
       "30 1D 02 01 01 04 00 A2 16 02 01 01 02 01 00 02 01 00 30 0B 30 09 06 01 2B 41 06 00 00 00 "
       "00 00 01",
       446},
  };
  for (const FaultCase& c : cases) {
    const auto bytes = Hex(c.hex);
    TSnmpMessage msg;
    TObjectTable objects;
    EXPECT_EQ(ParseMessage(bytes.data(), bytes.size(), msg, objects), c.rc) << c.name;
  }
}

TEST(CodecParse, AFaultLeavesWhatWasReadBefore) {
  // Two good bindings, then one whose OID runs past its binding.
  auto bytes = Response({"06 01 2B 02 01 01", "06 02 2B 06 41 01 05", "06 05 2B 05 00"});
  TSnmpMessage msg;
  TObjectTable objects;
  EXPECT_EQ(ParseMessage(bytes.data(), bytes.size(), msg, objects), 446);
  EXPECT_EQ(msg.RequestId, 7);
  EXPECT_EQ(msg.Community.view(), "cobalt");
  EXPECT_EQ(objects.Count(), 3);
  EXPECT_EQ(objects.At(2).Id.view(), "1.3.6");
  EXPECT_EQ(objects.At(2).Value.view(), "5");
}

// Every binding of an answer is read, not only the first 256; the datagram bounds them.
TEST(CodecParse, EveryBindingIsKept) {
  std::vector<std::string> bindings;
  for (int i = 0; i < 300; ++i)
    bindings.push_back("06 02 2B " + ToHex(std::vector<uint8_t>{uint8_t(i & 0x7F)}) + " 41 01 " +
                       ToHex(std::vector<uint8_t>{uint8_t(i % 100)}));
  const auto bytes = Response(bindings);
  TSnmpMessage msg;
  TObjectTable objects;
  ASSERT_EQ(ParseMessage(bytes.data(), bytes.size(), msg, objects), 0);
  ASSERT_EQ(objects.Count(), 300);
  EXPECT_EQ(objects.At(256).Value.view(), "55");
  EXPECT_EQ(objects.At(300).Value.view(), "99");
  EXPECT_EQ(objects.At(300).Id.view(), "1.3.43");
  // A smaller answer afterwards leaves no slot of the larger one behind its count.
  const auto small = Response({"06 02 2B 01 41 01 05"});
  ASSERT_EQ(ParseMessage(small.data(), small.size(), msg, objects), 0);
  EXPECT_EQ(objects.Count(), 1);
  EXPECT_TRUE(std::as_const(objects).At(300).Id.empty());
}

TEST(CodecParse, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
  const auto whole = Response({"06 08 2B 06 01 02 01 01 03 00 43 04 00 05 7E 40",
                               "06 01 2B 04 05 68 65 6C 6C 6F", "06 01 2B 46 02 00 FF"});
  for (size_t size = 0; size < whole.size(); ++size) {
    // A copy of exactly `size` bytes, so that the sanitizers see any read beyond it.
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
    TSnmpMessage msg;
    TObjectTable objects;
    const int rc = ParseMessage(cut.data(), cut.size(), msg, objects);
    EXPECT_TRUE(rc == 446 || rc == 447) << size << ": " << rc;
  }
  TSnmpMessage msg;
  TObjectTable objects;
  EXPECT_EQ(ParseMessage(whole.data(), whole.size(), msg, objects), 0);
  EXPECT_EQ(objects.Count(), 3);
}

TEST(CodecParse, SnmpV1TrapFields) {
  // enterprise 1.3.6.1.4.1.8072, agent 10.0.0.7, coldStart(0), specific 0, time 1234, no bindings
  const auto bytes = Hex(
      "30 28 02 01 00 04 06 63 6F 62 61 6C 74 A4 1B 06 07 2B 06 01 04 01 BF 08 40 04 0A 00 00 07 "
      "02 01 00 02 01 00 43 02 04 D2 30 00");
  TSnmpMessage msg;
  TObjectTable objects;
  ASSERT_EQ(ParseMessage(bytes.data(), bytes.size(), msg, objects), 0);
  EXPECT_EQ(msg.PduType, kPduTrapV1);
  EXPECT_EQ(msg.Enterprise.view(), "1.3.6.1.4.1.8072");
  EXPECT_EQ(msg.AgentAddress, 0x0A000007u);
  EXPECT_EQ(msg.GenericTrap, 0);
  EXPECT_EQ(msg.TimeStamp, 1234u);
  EXPECT_EQ(objects.Count(), 0);
}

TEST(CodecRoundTrip, EveryPduTypeParsesBackToWhatWasBuilt) {
  for (int action = kActionGetRequest; action <= kActionReport2; ++action) {
    for (const int32_t version : {kSnmpV1, kSnmpV2c}) {
      TSnmpMessage msg;
      msg.Reset();
      msg.Version = version;
      msg.Community.assign("cobalt");
      msg.RequestId = 4242;
      msg.ErrorStatus = 2;
      msg.ErrorIndex = 1;
      msg.NonRepeaters = 1;
      msg.MaxRepetitions = 10;
      msg.Enterprise.assign("1.3.6.1.4.1.8072");
      msg.AgentAddress = 0x7F000001;
      msg.GenericTrap = 6;
      msg.SpecificTrap = 3;
      msg.TimeStamp = 99;
      TObjectTable objects;
      SetObjects(objects, {"1.3.6.1.2.1.2.2.1.10.1", "1.3.6.1.2.1.1.1.0"}, kTagCounter32,
                 {"4000000000", "7"});
      objects.At(2).Type = kTagOctetString;
      TByteBuffer out;
      std::string error;
      ASSERT_EQ(BuildMessage(action, msg, objects, out, error), 0) << action;
      TSnmpMessage in;
      TObjectTable received;
      ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0) << action;
      EXPECT_EQ(in.Version, version);
      EXPECT_EQ(in.Community.view(), "cobalt");
      EXPECT_EQ(in.PduType, msg.PduType);
      const bool discovery = action == kActionDiscoverEngineId || action == kActionDiscoverClock;
      ASSERT_EQ(received.Count(), discovery ? 0 : 2) << action;
      if (in.PduType == kPduTrapV1) {
        EXPECT_EQ(in.Enterprise.view(), "1.3.6.1.4.1.8072");
        EXPECT_EQ(in.AgentAddress, 0x7F000001u);
        EXPECT_EQ(in.GenericTrap, 6);
        EXPECT_EQ(in.SpecificTrap, 3);
        EXPECT_EQ(in.TimeStamp, 99u);
      } else {
        EXPECT_EQ(in.RequestId, 4242);
      }
      if (in.PduType == kPduGetBulkRequest) {
        EXPECT_EQ(in.NonRepeaters, 1);
        EXPECT_EQ(in.MaxRepetitions, 10);
      } else if (in.PduType == kPduResponse || in.PduType == kPduReport) {
        EXPECT_EQ(in.ErrorStatus, 2);
        EXPECT_EQ(in.ErrorIndex, 1);
      } else if (in.PduType != kPduTrapV1) {
        EXPECT_EQ(in.ErrorStatus, 0);
      }
      const bool request = in.PduType == kPduGetRequest || in.PduType == kPduGetNextRequest ||
                           in.PduType == kPduGetBulkRequest;
      if (request && !discovery) {
        EXPECT_EQ(received.At(1).Type, kTagNull) << action;
      } else if (!discovery) {
        EXPECT_EQ(received.At(1).Type, kTagCounter32);
        EXPECT_EQ(received.At(1).Value.view(), "4000000000");
        EXPECT_EQ(received.At(2).Value.view(), "7");
      }
    }
  }
}

TEST(CodecObjectTable, SlotsAboveTheCountAreEmpty) {
  TObjectTable objects;
  EXPECT_EQ(objects.Count(), 0);
  EXPECT_EQ(objects.At(200).Type, kTagOctetString);
  objects.SetCount(3);
  for (int i = 1; i <= 3; ++i) {
    objects.At(i).Id.assign("1.3." + std::to_string(i));
    objects.At(i).Type = kTagCounter32;
    objects.At(i).Value.assign("9");
  }
  objects.SetCount(1);
  objects.SetCount(3);
  EXPECT_EQ(objects.At(1).Id.view(), "1.3.1");
  for (int i = 2; i <= 3; ++i) {
    EXPECT_EQ(objects.At(i).Type, kTagOctetString);
    EXPECT_TRUE(objects.At(i).Id.empty());
    EXPECT_TRUE(objects.At(i).Value.empty());
  }
  objects.SetCount(256);
  EXPECT_TRUE(objects.At(256).Id.empty());
}

TEST(CodecMessage, ResetKeepsTheIdentityOfTheSession) {
  TSnmpMessage msg;
  msg.Version = kSnmpV1;
  msg.Community.assign("cobalt");
  msg.RequestId = 77;
  msg.PduType = kPduGetRequest;
  msg.ErrorStatus = 0;
  msg.ErrorIndex = 3;
  msg.NonRepeaters = 2;
  msg.Enterprise.assign("1.3");
  msg.Reset(1500);
  EXPECT_EQ(msg.Version, kSnmpV1);
  EXPECT_EQ(msg.Community.view(), "cobalt");
  EXPECT_EQ(msg.RequestId, 77);
  EXPECT_EQ(msg.PduType, kPduNone);
  EXPECT_EQ(msg.ErrorStatus, -1);
  EXPECT_EQ(msg.ErrorIndex, 0);
  EXPECT_EQ(msg.NonRepeaters, 0);
  EXPECT_TRUE(msg.Enterprise.empty());
  EXPECT_EQ(msg.MsgMaxSize, 1500);
  msg.Clear();
  EXPECT_EQ(msg.RequestId, 0);
  EXPECT_TRUE(msg.Community.empty());
  EXPECT_EQ(msg.ErrorStatus, -1);
}

TEST(CodecByteBuffer, InlineUpTo99ThenGrowsByHalf) {
  TByteBuffer buffer;
  buffer.assign(std::string(99, 'a'));
  EXPECT_TRUE(buffer.is_inline());
  buffer.push_back(0);
  EXPECT_FALSE(buffer.is_inline());
  EXPECT_EQ(buffer.capacity(), 150u);
  EXPECT_EQ(buffer.size(), 100u);
  EXPECT_EQ(buffer.data()[99], 0);
  TByteBuffer moved(std::move(buffer));
  EXPECT_EQ(moved.size(), 100u);
  TByteBuffer copy = moved;
  EXPECT_EQ(copy, moved);
  copy.clear();
  EXPECT_EQ(copy.capacity(), 150u) << "clearing keeps the storage";
}

}  // namespace
}  // namespace kestrava

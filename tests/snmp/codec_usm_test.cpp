// SNMPv3 messages and user-based security: key localisation and HMAC against the published
// vectors, signing of built messages, and refusal of altered or badly sized signatures.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snmp/codec.h"
#include "snmp/usm.h"
#include "tests/snmp/codec_test_util.h"

namespace kestrava {
namespace {

using testing::Hex;
using testing::ToHex;

std::string Bytes(std::string_view hex) {
  const auto bytes = Hex(hex);
  return std::string(bytes.begin(), bytes.end());
}

std::string HexOf(const std::string& bytes) {
  return ToHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(Usm, KeyLocalisationMatchesThePublishedVectors) {
  const std::string engine = Bytes("00 00 00 00 00 00 00 00 00 00 00 02");
  EXPECT_EQ(HexOf(PasswordToKey(kAuthMd5, "maplesyrup")),
            "9F AF 32 83 88 4E 92 83 4E BC 98 47 D8 ED D9 63");
  EXPECT_EQ(HexOf(LocalizeKey(kAuthMd5, "maplesyrup", engine)),
            "52 6F 5E ED 9F CC E2 6F 89 64 C2 93 07 87 D8 2B");
  EXPECT_EQ(HexOf(PasswordToKey(kAuthSha1, "maplesyrup")),
            "9F B5 CC 03 81 49 7B 37 93 52 89 39 FF 78 8D 5D 79 14 52 11");
  EXPECT_EQ(HexOf(LocalizeKey(kAuthSha1, "maplesyrup", engine)),
            "66 95 FE BC 92 88 E3 62 82 23 5F C7 15 1F 12 84 97 B3 8F 3F");
  EXPECT_TRUE(LocalizeKey(kAuthMd5, "", engine).empty());
  EXPECT_TRUE(LocalizeKey(7, "maplesyrup", engine).empty());
}

struct HmacCase {
  int protocol;
  std::string key;
  std::string data;
  std::string digest;
};

TEST(Usm, HmacMatchesThePublishedVectors) {
  const std::vector<HmacCase> cases = {
      {kAuthMd5, std::string(16, '\x0b'), "Hi There",
       "92 94 72 7A 36 38 BB 1C 13 F4 8E F8 15 8B FC 9D"},
      {kAuthMd5, "Jefe", "what do ya want for nothing?",
       "75 0C 78 3E 6A B0 B5 03 EA A8 6E 31 0A 5D B7 38"},
      {kAuthMd5, std::string(16, '\xaa'), std::string(50, '\xdd'),
       "56 BE 34 52 1D 14 4C 88 DB B8 C7 33 F0 E8 B3 F6"},
      {kAuthMd5, std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "6B 1A B7 FE 4B D7 BF 8F 0B 62 E6 CE 61 B9 D0 CD"},
      {kAuthSha1, std::string(20, '\x0b'), "Hi There",
       "B6 17 31 86 55 05 72 64 E2 8B C0 B6 FB 37 8C 8E F1 46 BE 00"},
      {kAuthSha1, "Jefe", "what do ya want for nothing?",
       "EF FC DF 6A E5 EB 2F A2 D2 74 16 D5 F1 84 DF 9C 25 9A 7C 79"},
      {kAuthSha1, std::string(20, '\xaa'), std::string(50, '\xdd'),
       "12 5D 73 42 B9 AC 11 CD 91 A3 9A F4 8A A1 7B 4F 63 F1 75 D3"},
      {kAuthSha1, std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
       "AA 4A E5 E1 52 72 D0 0E 95 70 56 37 CE 8A 3B 55 ED 40 21 12"},
  };
  for (const HmacCase& c : cases) {
    EXPECT_EQ(HexOf(Hmac(c.protocol, c.key, c.data)), c.digest) << c.data;
  }
}

TEST(Usm, ConstantTimeEqualComparesWholeStrings) {
  EXPECT_TRUE(ConstantTimeEqual("abcdef", "abcdef"));
  EXPECT_FALSE(ConstantTimeEqual("abcdef", "abcdeg"));
  EXPECT_FALSE(ConstantTimeEqual("abcdef", "bbcdef"));
  EXPECT_FALSE(ConstantTimeEqual("abc", "abcd"));
  EXPECT_TRUE(ConstantTimeEqual("", ""));
}

TUsmCredentials Credentials(int protocol) {
  TUsmCredentials user;
  user.User = "kestrel";
  user.AuthProtocol = protocol;
  user.EngineId = Bytes("80 00 1F 88 80 12 34 56 78 9A BC DE F0");
  user.AuthKey = LocalizeKey(protocol, "maplesyrup", user.EngineId);
  user.ClockKnown = true;
  user.EngineBoots = 3;
  user.EngineTime = 123456;
  return user;
}

TEST(UsmMessage, AuthenticatedRequestIsSignedAndVerifies) {
  for (const int protocol : {kAuthMd5, kAuthSha1}) {
    const TUsmCredentials user = Credentials(protocol);
    TSnmpMessage msg;
    msg.Reset();
    msg.Version = kSnmpV3;
    msg.RequestId = 900;
    msg.MsgId = 41;
    TObjectTable objects;
    objects.SetCount(1);
    objects.At(1).Id.assign("1.3.6.1.2.1.1.3.0");
    TByteBuffer out;
    std::string error;
    ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error, &user), 0) << error;
    EXPECT_EQ(msg.MsgId, 42);
    EXPECT_EQ(msg.RequestId, 901);
    EXPECT_EQ(msg.MsgFlags, 5);

    TSnmpMessage in;
    TObjectTable received;
    ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0);
    EXPECT_EQ(in.Version, kSnmpV3);
    EXPECT_EQ(in.MsgId, 41);
    EXPECT_EQ(in.MsgMaxSize, 8192);
    EXPECT_EQ(in.MsgFlags, 5);
    EXPECT_EQ(in.SecurityModel, 3);
    EXPECT_EQ(in.SecurityLevel, 1);
    EXPECT_EQ(in.AuthEngineId.view(), user.EngineId);
    EXPECT_EQ(in.ContextEngineId.view(), user.EngineId);
    EXPECT_EQ(in.EngineBoots, 3);
    EXPECT_EQ(in.EngineTime, 123456);
    EXPECT_EQ(in.UserName.view(), "kestrel");
    EXPECT_EQ(in.AuthParams.size(), 12u);
    EXPECT_EQ(in.AuthParams, msg.AuthParams);
    EXPECT_EQ(in.RequestId, 900);
    ASSERT_EQ(received.Count(), 1);
    EXPECT_EQ(received.At(1).Id.view(), "1.3.6.1.2.1.1.3.0");

    EXPECT_TRUE(VerifyMessage(protocol, user.AuthKey, out.data(), out.size(), in.AuthParamsOffset,
                              in.AuthParams.size()));
    // Any changed octet, a wrong key or a parameter of another length is refused.
    for (size_t i = 0; i < out.size(); ++i) {
      TByteBuffer altered = out;
      altered.data()[i] ^= 0x01;
      EXPECT_FALSE(VerifyMessage(protocol, user.AuthKey, altered.data(), altered.size(),
                                 in.AuthParamsOffset, 12))
          << i;
    }
    const std::string otherKey = LocalizeKey(protocol, "maplesyrup!", user.EngineId);
    EXPECT_FALSE(
        VerifyMessage(protocol, otherKey, out.data(), out.size(), in.AuthParamsOffset, 12));
    for (const size_t length : {0u, 11u, 13u, 16u, 20u}) {
      EXPECT_FALSE(VerifyMessage(protocol, user.AuthKey, out.data(), out.size(),
                                 in.AuthParamsOffset, length));
    }
  }
}

TEST(UsmMessage, LongMessagesKeepTheSignatureInPlace) {
  // Lengths in front of the parameters grow to 82 forms; the signature must follow them.
  const TUsmCredentials user = Credentials(kAuthSha1);
  TSnmpMessage msg;
  msg.Version = kSnmpV3;
  TObjectTable objects;
  objects.SetCount(15);
  for (int i = 1; i <= 15; ++i)
    objects.At(i).Id.assign("1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
  TByteBuffer out;
  std::string error;
  ASSERT_EQ(BuildMessage(kActionGetNextRequest, msg, objects, out, error, &user), 0);
  ASSERT_GT(out.size(), 256u);
  TSnmpMessage in;
  TObjectTable received;
  ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0);
  EXPECT_EQ(received.Count(), 15);
  EXPECT_TRUE(
      VerifyMessage(kAuthSha1, user.AuthKey, out.data(), out.size(), in.AuthParamsOffset, 12));
}

TEST(UsmMessage, DiscoveryAndUnauthenticatedRequests) {
  TUsmCredentials user = Credentials(kAuthMd5);
  TSnmpMessage msg;
  msg.Version = kSnmpV3;
  TObjectTable objects;
  objects.SetCount(1);
  objects.At(1).Id.assign("1.3.6.1.2.1.1.3.0");
  TByteBuffer out;
  std::string error;
  // Engine-id discovery: no user, no authentication, no bindings, reportable.
  ASSERT_EQ(BuildMessage(kActionDiscoverEngineId, msg, objects, out, error, &user), 0);
  TSnmpMessage in;
  TObjectTable received;
  ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0);
  EXPECT_EQ(in.MsgFlags, 4);
  EXPECT_TRUE(in.UserName.empty());
  EXPECT_TRUE(in.AuthParams.empty());
  EXPECT_EQ(in.EngineBoots, 0);
  EXPECT_EQ(received.Count(), 0);
  EXPECT_EQ(in.PduType, kPduGetRequest);

  // A password without a known clock: the request is refused, nothing is built.
  user.ClockKnown = false;
  const int32_t requestId = msg.RequestId;
  EXPECT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error, &user), 311);
  EXPECT_EQ(error,
            "RemoteEngineTime must be known in order to complete the requested operation. Perform "
            "a discover first.");
  EXPECT_EQ(msg.RequestId, requestId);
  // ...but the clock discovery goes out authenticated with boots and time 0.
  ASSERT_EQ(BuildMessage(kActionDiscoverClock, msg, objects, out, error, &user), 0);
  ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0);
  EXPECT_EQ(in.MsgFlags, 5);
  EXPECT_EQ(in.EngineTime, 0);
  EXPECT_TRUE(
      VerifyMessage(kAuthMd5, user.AuthKey, out.data(), out.size(), in.AuthParamsOffset, 12));

  // No credentials at all: a plain reportable request with boots and time 0.
  ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error), 0);
  ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0);
  EXPECT_EQ(in.MsgFlags, 4);
  EXPECT_EQ(in.SecurityLevel, 0);
}

TEST(UsmMessage, ForeignSecurityModelIsRefused) {
  // A discovery request with the security model changed to 2.
  TSnmpMessage msg;
  msg.Version = kSnmpV3;
  TObjectTable objects;
  TByteBuffer out;
  std::string error;
  ASSERT_EQ(BuildMessage(kActionDiscoverEngineId, msg, objects, out, error), 0);
  // The header's last element is 02 01 03: the security model.
  std::string bytes(reinterpret_cast<const char*>(out.data()), out.size());
  const size_t at = bytes.find(std::string("\x02\x01\x03\x04", 4));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 2] = 2;
  TSnmpMessage in;
  TObjectTable received;
  EXPECT_EQ(
      ParseMessage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), in, received),
      316);
}

}  // namespace
}  // namespace kestrava

// SNMPv3 messages and user-based security: key localisation, HMAC and the ciphers against the
// published vectors, signing and encryption of built messages, and refusal of altered or badly
// sized signatures and ciphertexts.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/parse_fuzzer_keys.h"
#include "snmp/codec.h"
#include "snmp/errors.h"
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

TEST(Usm, HmacSha2MatchesRfc4231) {
  struct Case {
    int protocol;
    std::string key;
    std::string data;
    std::string digest;
  };
  const std::string larger = "Test Using Larger Than Block-Size Key - Hash Key First";
  const std::vector<Case> cases = {
      {kAuthSha224, std::string(20, '\x0b'), "Hi There",
       "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22"},
      {kAuthSha224, "Jefe", "what do ya want for nothing?",
       "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44"},
      {kAuthSha224, std::string(131, '\xaa'), larger,
       "95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e"},
      {kAuthSha256, std::string(20, '\x0b'), "Hi There",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {kAuthSha256, "Jefe", "what do ya want for nothing?",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {kAuthSha256, std::string(131, '\xaa'), larger,
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {kAuthSha384, std::string(20, '\x0b'), "Hi There",
       "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2"
       "fa9cb6"},
      {kAuthSha384, "Jefe", "what do ya want for nothing?",
       "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfa"
       "b21649"},
      {kAuthSha384, std::string(131, '\xaa'), larger,
       "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163"
       "f44952"},
      {kAuthSha512, std::string(20, '\x0b'), "Hi There",
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eae"
       "a3f4e4be9d914eeb61f1702e696c203a126854"},
      {kAuthSha512, "Jefe", "what do ya want for nothing?",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8"
       "f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
      {kAuthSha512, std::string(131, '\xaa'), larger,
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d"
       "6a1e5295e64f73f63f0aec8b915a985d786598"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HexOf(Hmac(c.protocol, c.key, c.data)), HexOf(Bytes(c.digest)))
        << AuthProtocolName(c.protocol) << " " << c.data;
  }
}

TEST(Usm, Sha2KeysAndExtendedPrivacyKeys) {
  // RFC 3414's construction with the SHA-2 digests of RFC 7860, and net-snmp's extension of
  // short keys for AES-192/256; the values were computed with Python's hashlib.
  const std::string engine = Bytes("00 00 00 00 00 00 00 00 00 00 00 02");
  struct Case {
    int auth;
    int priv;  // kPrivNone: the authentication key
    std::string key;
  };
  const std::vector<Case> cases = {
      {kAuthSha224, kPrivNone, "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be682075674"},
      {kAuthSha256, kPrivNone, "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b"},
      {kAuthSha384, kPrivNone,
       "3b298f16164a11184279d5432bf169e2d2a48307de02b3d3f7e2b4f36eb6f0455a53689a3937eea07319a633d2"
       "ccba78"},
      {kAuthSha512, kPrivNone,
       "22a5a36cedfcc085807a128d7bc6c2382167ad6c0dbc5fdff856740f3d84c099ad1ea87a8db096714d9788bd54"
       "4047c9021e4229ce27e4c0a69250adfcffbb0b"},
      // The key of RFC 3414 A.3.1 and its MD5 digest make the 32 octets of AES-256.
      {kAuthMd5, kPrivAes256, "526f5eed9fcce26f8964c2930787d82bfa24a92467426c2f4b09192be10dfaec"},
      {kAuthSha1, kPrivAes192, "6695febc9288e36282235fc7151f128497b38f3f505e07eb"},
      {kAuthSha1, kPrivAes256, "6695febc9288e36282235fc7151f128497b38f3f505e07eb9af25568fa1f5dbe"},
      {kAuthSha224, kPrivAes256,
       "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be682075674e82d9bf0"},
      // Long enough already: cut to the cipher's key (and DES's pre-IV).
      {kAuthSha1, kPrivAes128, "6695febc9288e36282235fc7151f1284"},
      {kAuthSha1, kPrivDes, "6695febc9288e36282235fc7151f1284"},
      {kAuthSha512, kPrivAes256,
       "22a5a36cedfcc085807a128d7bc6c2382167ad6c0dbc5fdff856740f3d84c099"},
  };
  EXPECT_EQ(HexOf(PasswordToKey(kAuthSha256, "maplesyrup")),
            HexOf(Bytes("ab51014d1e077f6017df2b12bee5f5aa72993177e9bb569c4dff5a4ca0b4afac")));
  for (const Case& c : cases) {
    const std::string key = c.priv == kPrivNone
                                ? LocalizeKey(c.auth, "maplesyrup", engine)
                                : LocalizePrivKey(c.auth, c.priv, "maplesyrup", engine);
    EXPECT_EQ(HexOf(key), HexOf(Bytes(c.key)))
        << AuthProtocolName(c.auth) << " " << PrivProtocolName(c.priv);
  }
  EXPECT_TRUE(LocalizePrivKey(kAuthSha1, 9, "maplesyrup", engine).empty());
  EXPECT_TRUE(LocalizePrivKey(kAuthSha1, kPrivAes128, "", engine).empty());
}

TEST(Usm, ProtocolSizesAndNames) {
  struct Case {
    const char* name;
    int protocol;
    size_t digest;
    size_t params;
  };
  for (const Case& c :
       {Case{"MD5", kAuthMd5, 16, 12}, Case{"SHA", kAuthSha1, 20, 12},
        Case{"SHA-224", kAuthSha224, 28, 16}, Case{"SHA-256", kAuthSha256, 32, 24},
        Case{"sha-384", kAuthSha384, 48, 32}, Case{"SHA-512", kAuthSha512, 64, 48}}) {
    EXPECT_EQ(AuthProtocolFromName(c.name), c.protocol) << c.name;
    EXPECT_EQ(DigestSize(c.protocol), c.digest) << c.name;
    EXPECT_EQ(AuthParamsSize(c.protocol), c.params) << c.name;
  }
  EXPECT_EQ(AuthProtocolFromName("SHA-1024"), -1);
  EXPECT_EQ(AuthParamsSize(0), 0u);
  EXPECT_EQ(PrivProtocolFromName("aes-256"), kPrivAes256);
  EXPECT_EQ(PrivProtocolFromName("AES"), kPrivAes128);
  EXPECT_EQ(PrivProtocolFromName("3DES"), -1);
  EXPECT_EQ(SecurityLevelFromName("AUTHPRIV"), kAuthPriv);
  EXPECT_EQ(SecurityLevelFromName("priv"), -1);
  EXPECT_STREQ(SecurityLevelName(kNoAuthNoPriv), "noAuthNoPriv");
}

// The ciphers through TUsmKeys, with the IV made from boots, time and salt as SNMP makes it.
TEST(Usm, CiphersMatchThePublishedVectors) {
  const std::string plain = Bytes(
      "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51 "
      "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");
  struct Case {
    int priv;
    std::string key;
    std::string cipher;
  };
  // NIST SP 800-38A F.3.13, F.3.15, F.3.17 (CFB128); the IV 00 01 .. 0F is boots 0x00010203,
  // time 0x04050607 and the salt 0x08090A0B0C0D0E0F (RFC 3826 3.1.2.1).
  const std::vector<Case> cases = {
      {kPrivAes128, "2b7e151628aed2a6abf7158809cf4f3c",
       "3b3fd92eb72dad20333449f8e83cfb4a c8a64537a0b3a93fcde3cdad9f1ce58b "
       "26751f67a3cbb140b1808cf187a4f4df c04b05357c5d1c0eeac4c66f9ff7f2e6"},
      {kPrivAes192, "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
       "cdc80d6fddf18cab34c25909c99a4174 67ce7f7f81173621961a2b70171d3d7a "
       "2e1e8a1dd59b88b1c8e60fed1efac4c9 c05f9f9ca9834fa042ae8fba584b09ff"},
      {kPrivAes256, "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       "dc7e84bfda79164b7ecd8486985d3860 39ffed143b28b1c832113c6331e5407b "
       "df10132415e54b92a13ed0a8267ae2f9 75a385741ab9cef82031623d55b1e471"},
  };
  const std::string authKey(16, '\x01');
  for (const Case& c : cases) {
    TUsmKeys keys;
    ASSERT_TRUE(keys.Prepare(kAuthMd5, authKey, c.priv, Bytes(c.key)));
    std::string data = plain;
    uint8_t privParams[kPrivParamsSize];
    ASSERT_TRUE(keys.Encrypt(reinterpret_cast<uint8_t*>(data.data()), data.size(), 0x00010203,
                             0x04050607, 0x08090A0B0C0D0E0Full, privParams));
    EXPECT_EQ(HexOf(data), HexOf(Bytes(c.cipher))) << PrivProtocolName(c.priv);
    EXPECT_EQ(HexOf(std::string(reinterpret_cast<char*>(privParams), 8)),
              "08 09 0A 0B 0C 0D 0E 0F");
    TByteBuffer back;
    ASSERT_TRUE(keys.Decrypt(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 0x00010203,
                             0x04050607, privParams, 8, back));
    EXPECT_EQ(back.view(), plain);
    // A partial last block is fine for CFB.
    ASSERT_TRUE(keys.Decrypt(reinterpret_cast<const uint8_t*>(data.data()), 21, 0x00010203,
                             0x04050607, privParams, 8, back));
    EXPECT_EQ(back.view(), plain.substr(0, 21));
  }

  // FIPS 81 (DES-CBC): key 01 23 .. EF, IV 12 34 56 78 90 AB CD EF. The IV is the pre-IV (the
  // key's second half) XOR the salt, here boots 0 and a salt of 0 (RFC 3414 8.1.1.1).
  TUsmKeys des;
  ASSERT_TRUE(des.Prepare(kAuthMd5, authKey, kPrivDes, Bytes("0123456789abcdef 1234567890abcdef")));
  std::string data = "Now is the time for all ";
  uint8_t privParams[kPrivParamsSize];
  ASSERT_TRUE(
      des.Encrypt(reinterpret_cast<uint8_t*>(data.data()), data.size(), 0, 0, 0, privParams));
  EXPECT_EQ(HexOf(data), HexOf(Bytes("e5c7cdde872bf27c 43e934008c389c0f 683788499a7c05f6")));
  TByteBuffer back;
  ASSERT_TRUE(des.Decrypt(reinterpret_cast<const uint8_t*>(data.data()), data.size(), 0, 0,
                          privParams, 8, back));
  EXPECT_EQ(back.view(), "Now is the time for all ");
  // Not whole blocks, or privacy parameters of another size: a decryption error.
  EXPECT_FALSE(
      des.Decrypt(reinterpret_cast<const uint8_t*>(data.data()), 20, 0, 0, privParams, 8, back));
  EXPECT_FALSE(
      des.Decrypt(reinterpret_cast<const uint8_t*>(data.data()), 24, 0, 0, privParams, 7, back));
  EXPECT_FALSE(des.Encrypt(reinterpret_cast<uint8_t*>(data.data()), 20, 0, 0, 0, privParams));
  // Privacy without authentication, or a key too short, is not prepared.
  TUsmKeys refused;
  EXPECT_FALSE(refused.Prepare(kAuthNone, "", kPrivAes128, std::string(16, 'k')));
  EXPECT_FALSE(refused.Prepare(kAuthMd5, authKey, kPrivAes256, std::string(24, 'k')));
  EXPECT_FALSE(refused.Prepare(kAuthSha256, authKey, kPrivNone, ""));
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

// Every authentication protocol with every privacy protocol: built, signed and encrypted, then
// verified, decrypted and read back; any flipped bit of the ciphertext or of the digest fails.
TEST(UsmMessage, EveryProtocolPairRoundTrips) {
  const std::string engine = Bytes("80 00 1F 88 80 12 34 56 78 9A BC DE F0");
  const std::string column = ToHex(Hex("2B 06 01 02 01 02 02 01 0A"));  // 1.3.6.1.2.1.2.2.1.10
  for (const int auth : {kAuthMd5, kAuthSha1, kAuthSha224, kAuthSha256, kAuthSha384, kAuthSha512}) {
    for (const int priv : {kPrivNone, kPrivDes, kPrivAes128, kPrivAes192, kPrivAes256}) {
      const std::string label = std::string(AuthProtocolName(auth)) + "/" + PrivProtocolName(priv);
      TUsmKeys keys;
      ASSERT_TRUE(keys.Prepare(auth, LocalizeKey(auth, "maplesyrup", engine), priv,
                               LocalizePrivKey(auth, priv, "privacy-password", engine)))
          << label;
      TUsmCredentials user;
      user.User = "kestrel";
      user.EngineId = engine;
      user.ContextName = "bridge1";
      user.ClockKnown = true;
      user.EngineBoots = 9;
      user.EngineTime = 654321;
      user.Salt = 0x1122334455667788ull;
      user.Keys = &keys;
      TSnmpMessage msg;
      msg.Reset();
      msg.Version = kSnmpV3;
      msg.RequestId = 31337;
      TObjectTable objects;
      objects.SetCount(15);
      for (int i = 1; i <= 15; ++i)
        objects.At(i).Id.assign("1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
      TByteBuffer out;
      std::string error;
      ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error, &user), 0) << label;
      const bool encrypted = priv != kPrivNone;
      EXPECT_EQ(msg.MsgFlags, encrypted ? 7 : 5) << label;
      EXPECT_EQ(msg.AuthParams.size(), AuthParamsSize(auth)) << label;
      EXPECT_EQ(msg.PrivParams.size(), encrypted ? 8u : 0u) << label;
      // The columns' OIDs are in clear text only without privacy.
      EXPECT_EQ(ToHex(out).find(column) != std::string::npos, !encrypted) << label;

      TSnmpMessage in;
      TObjectTable received;
      ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0) << label;
      EXPECT_EQ(in.SecurityLevel, encrypted ? 3 : 1);
      EXPECT_EQ(in.AuthParams.size(), AuthParamsSize(auth));
      EXPECT_TRUE(keys.Verify(out.data(), out.size(), in.AuthParamsOffset, in.AuthParams.size()))
          << label;
      if (encrypted) {
        EXPECT_EQ(in.PduType, kPduNone);
        EXPECT_EQ(received.Count(), 0);
        TByteBuffer plain;
        ASSERT_EQ(DecryptScopedPdu(out.data(), out.size(), in, received, keys, plain), 0) << label;
      }
      EXPECT_EQ(in.PduType, kPduGetRequest) << label;
      EXPECT_EQ(in.RequestId, 31337);
      EXPECT_EQ(in.ContextName.view(), "bridge1");
      EXPECT_EQ(in.ContextEngineId.view(), engine);
      ASSERT_EQ(received.Count(), 15) << label;
      EXPECT_EQ(received.At(15).Id.view(), "1.3.6.1.2.1.2.2.1.10.15");

      // One flipped bit anywhere in the digest or in the encrypted PDU is refused.
      std::vector<size_t> positions;
      for (size_t i = 0; i < in.AuthParams.size(); ++i)
        positions.push_back(in.AuthParamsOffset + i);
      for (size_t i = 0; i < in.EncryptedSize; ++i) positions.push_back(in.EncryptedOffset + i);
      for (const size_t at : positions) {
        TByteBuffer altered = out;
        altered.data()[at] ^= static_cast<uint8_t>(1u << (at % 8));
        EXPECT_FALSE(
            keys.Verify(altered.data(), altered.size(), in.AuthParamsOffset, in.AuthParams.size()))
            << label << " octet " << at;
      }
      // Parameters of any length but the protocol's are refused, the MD5/SHA-1 length too.
      for (const size_t length : {size_t{12}, AuthParamsSize(auth) - 1, AuthParamsSize(auth) + 1}) {
        if (length == AuthParamsSize(auth)) continue;
        EXPECT_FALSE(keys.Verify(out.data(), out.size(), in.AuthParamsOffset, length)) << label;
      }
      if (encrypted) {
        // Another privacy password decrypts to noise that is not a scoped PDU.
        TUsmKeys wrong;
        ASSERT_TRUE(wrong.Prepare(auth, LocalizeKey(auth, "maplesyrup", engine), priv,
                                  LocalizePrivKey(auth, priv, "another-password", engine)));
        TByteBuffer plain;
        EXPECT_EQ(DecryptScopedPdu(out.data(), out.size(), in, received, wrong, plain),
                  kErrDecryption)
            << label;
      }
    }
  }
}

TEST(UsmMessage, SaltsAndClockGoIntoThePrivacyParameters) {
  const std::string engine = Bytes("80 00 1F 88 04 6B 65 73 74");
  for (const int priv : {kPrivDes, kPrivAes128}) {
    TUsmKeys keys;
    ASSERT_TRUE(keys.Prepare(kAuthSha1, LocalizeKey(kAuthSha1, "maplesyrup", engine), priv,
                             LocalizePrivKey(kAuthSha1, priv, "maplesyrup", engine)));
    TUsmCredentials user;
    user.User = "kestrel";
    user.EngineId = engine;
    user.ClockKnown = true;
    user.EngineBoots = 0x01020304;
    user.EngineTime = 77;
    user.Keys = &keys;
    TSnmpMessage msg;
    msg.Version = kSnmpV3;
    TObjectTable objects;
    objects.SetCount(1);
    objects.At(1).Id.assign("1.3.6.1.2.1.1.3.0");
    std::vector<std::string> ciphertexts;
    for (const uint64_t salt : {0xA1A2A3A4B1B2B3B4ull, 0xA1A2A3A4B1B2B3B5ull}) {
      user.Salt = salt;
      TByteBuffer out;
      std::string error;
      ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error, &user), 0);
      // DES: the boots and the salt's low half (RFC 3414 8.1.1.1); AES: the 64-bit salt.
      const std::string last = salt & 1 ? "B5" : "B4";
      EXPECT_EQ(ToHex(msg.PrivParams),
                (priv == kPrivDes ? "01 02 03 04 B1 B2 B3 " : "A1 A2 A3 A4 B1 B2 B3 ") + last);
      TSnmpMessage in;
      TObjectTable received;
      ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0);
      ciphertexts.push_back(ToHex(out.data() + in.EncryptedOffset, in.EncryptedSize));
      // DES pads the scoped PDU to whole blocks.
      if (priv == kPrivDes) {
        EXPECT_EQ(in.EncryptedSize % 8, 0u);
      }
    }
    EXPECT_NE(ciphertexts[0], ciphertexts[1]) << "another salt, another ciphertext";
  }
}

TEST(UsmMessage, DecryptionRefusesWhatItCannotRead) {
  const std::string engine = Bytes("80 00 1F 88 04 6B 65 73 74");
  TUsmKeys keys;
  ASSERT_TRUE(keys.Prepare(kAuthSha1, LocalizeKey(kAuthSha1, "maplesyrup", engine), kPrivDes,
                           LocalizePrivKey(kAuthSha1, kPrivDes, "maplesyrup", engine)));
  TUsmCredentials user;
  user.User = "kestrel";
  user.EngineId = engine;
  user.ClockKnown = true;
  user.Keys = &keys;
  TSnmpMessage msg;
  msg.Version = kSnmpV3;
  TObjectTable objects;
  TByteBuffer out;
  std::string error;
  ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error, &user), 0);
  TSnmpMessage in;
  TObjectTable received;
  TByteBuffer plain;
  ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0);
  TSnmpMessage cut = in;
  cut.EncryptedSize -= 1;  // not whole DES blocks
  EXPECT_EQ(DecryptScopedPdu(out.data(), out.size(), cut, received, keys, plain), kErrDecryption);
  TSnmpMessage shortSalt = in;
  shortSalt.PrivParams.resize(7);
  EXPECT_EQ(DecryptScopedPdu(out.data(), out.size(), shortSalt, received, keys, plain),
            kErrDecryption);
  TSnmpMessage outside = in;
  outside.EncryptedOffset = out.size();  // past the datagram
  EXPECT_EQ(DecryptScopedPdu(out.data(), out.size(), outside, received, keys, plain),
            kErrDecryption);
  TSnmpMessage plainMessage = in;
  plainMessage.MsgFlags = 5;  // not flagged for privacy
  EXPECT_EQ(DecryptScopedPdu(out.data(), out.size(), plainMessage, received, keys, plain),
            kErrDecryption);
  EXPECT_EQ(DecryptScopedPdu(out.data(), out.size(), in, received, keys, plain), 0);

  // AES decrypts a cut ciphertext to the start of the scoped PDU: the key was right, the
  // message is cut short, which is a parse error and no decryption failure.
  TUsmKeys aes;
  ASSERT_TRUE(aes.Prepare(kAuthSha1, LocalizeKey(kAuthSha1, "maplesyrup", engine), kPrivAes128,
                          LocalizePrivKey(kAuthSha1, kPrivAes128, "maplesyrup", engine)));
  user.Keys = &aes;
  ASSERT_EQ(BuildMessage(kActionGetRequest, msg, objects, out, error, &user), 0);
  ASSERT_EQ(ParseMessage(out.data(), out.size(), in, received), 0);
  TSnmpMessage truncated = in;
  truncated.EncryptedSize /= 2;
  const int code = DecryptScopedPdu(out.data(), out.size(), truncated, received, aes, plain);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, kErrDecryption);
}

// The parse fuzzer reaches the digest check and the ciphers through these seeds only while
// they verify and decrypt under its fixed keys.
TEST(UsmMessage, FuzzSeedsVerifyAndDecryptUnderTheFuzzersKeys) {
  struct Seed {
    const char* file;
    int auth;
    std::string_view authKey;
    int priv;
    std::string_view privKey;
    int bindings;
  };
  const Seed seeds[] = {
      {"v3_authpriv_aes_response", kAuthSha256, fuzzing::kSha256Key, kPrivAes128, fuzzing::kAesKey,
       15},
      {"v3_authpriv_des_response", kAuthSha1, fuzzing::kSha1Key, kPrivDes, fuzzing::kDesKey, 15},
      {"v3_authnopriv_response", kAuthSha256, fuzzing::kSha256Key, kPrivNone, {}, 15},
      {"v3_report_not_in_time_window", kAuthSha256, fuzzing::kSha256Key, kPrivNone, {}, 1},
  };
  for (const Seed& seed : seeds) {
    std::ifstream file(std::string(KESTRAVA_SOURCE_DIR "/fuzz/corpus/parse/") + seed.file,
                       std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    ASSERT_FALSE(bytes.empty()) << seed.file;
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    TSnmpMessage msg;
    TObjectTable objects;
    ASSERT_EQ(ParseMessage(data, bytes.size(), msg, objects), 0) << seed.file;
    TUsmKeys keys;
    ASSERT_TRUE(keys.Prepare(seed.auth, seed.authKey, seed.priv, seed.privKey));
    EXPECT_TRUE(keys.Verify(data, bytes.size(), msg.AuthParamsOffset, msg.AuthParams.size()))
        << seed.file;
    if (seed.priv != kPrivNone) {
      TByteBuffer plain;
      ASSERT_EQ(DecryptScopedPdu(data, bytes.size(), msg, objects, keys, plain), 0) << seed.file;
    }
    EXPECT_EQ(objects.Count(), seed.bindings) << seed.file;
  }
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

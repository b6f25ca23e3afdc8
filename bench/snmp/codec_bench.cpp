// The codec beside net-snmp's library, in one run: decode of a Response carrying 15 Counter32
// bindings, and encode of a GetRequest for 15 OIDs, in SNMPv2c and in SNMPv3 with authPriv
// (HMAC-SHA-256-192 and AES-128: verify, decrypt and parse; encrypt and sign). Compare the ns
// per message of the pairs (Kestrava/... against NetSnmp/...).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "snmp/codec.h"
#include "snmp/usm.h"

// clang-format off
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
// clang-format on

namespace {

using kestrava::TByteBuffer;
using kestrava::TObjectTable;
using kestrava::TSnmpMessage;

std::string Oid(int i) {
  return "1.3.6.1.2.1.2.2.1.10." + std::to_string(i);
}

// The Response an agent sends for 15 ifInOctets counters.
TByteBuffer FifteenCounterResponse() {
  TSnmpMessage msg;
  msg.Community.assign("cobalt");
  msg.RequestId = 734512;
  msg.ErrorStatus = 0;
  TObjectTable objects;
  objects.SetCount(15);
  for (int i = 1; i <= 15; ++i) {
    objects.At(i).Id.assign(Oid(i));
    objects.At(i).Type = kestrava::kTagCounter32;
    objects.At(i).Value.assign(std::to_string(3000000000u + 987654u * i));
  }
  TByteBuffer out;
  std::string error;
  if (kestrava::BuildMessage(kestrava::kActionResponse, msg, objects, out, error) != 0)
    std::abort();
  return out;
}

void InitNetSnmp() {
  static bool done = false;
  if (done) return;
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
  netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_LOAD_HOST_FILES, 1);
  setenv("MIBS", "", 1);
  init_snmp("kestrava-bench");
  done = true;
}

void KestravaDecode(benchmark::State& state) {
  const TByteBuffer response = FifteenCounterResponse();
  TSnmpMessage msg;
  TObjectTable objects;
  for (auto _ : state) {
    if (kestrava::ParseMessage(response.data(), response.size(), msg, objects) != 0) std::abort();
    benchmark::DoNotOptimize(objects.At(15).Value.data());
  }
}
BENCHMARK(KestravaDecode)->Name("Kestrava/Decode15Counters");

void NetSnmpDecode(benchmark::State& state) {
  InitNetSnmp();
  const TByteBuffer response = FifteenCounterResponse();
  std::vector<u_char> data(response.data(), response.data() + response.size());
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_2c;
  for (auto _ : state) {
    // As net-snmp's own receive path does: a fresh PDU per datagram, parsed, then freed.
    auto* pdu = static_cast<netsnmp_pdu*>(calloc(1, sizeof(netsnmp_pdu)));
    if (snmp_parse(nullptr, &session, pdu, data.data(), data.size()) != 0) std::abort();
    benchmark::DoNotOptimize(pdu->variables);
    snmp_free_pdu(pdu);
  }
}
BENCHMARK(NetSnmpDecode)->Name("NetSnmp/Decode15Counters");

void KestravaEncode(benchmark::State& state) {
  TSnmpMessage msg;
  msg.Community.assign("cobalt");
  TObjectTable objects;
  objects.SetCount(15);
  for (int i = 1; i <= 15; ++i) objects.At(i).Id.assign(Oid(i));
  TByteBuffer out;
  std::string error;
  for (auto _ : state) {
    // From the OID texts, as the engine hands them over.
    if (kestrava::BuildMessage(kestrava::kActionGetRequest, msg, objects, out, error) != 0) {
      std::abort();
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(KestravaEncode)->Name("Kestrava/Encode15Oids");

void NetSnmpEncode(benchmark::State& state) {
  InitNetSnmp();
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_2c;
  session.community = reinterpret_cast<u_char*>(const_cast<char*>("cobalt"));
  session.community_len = 6;
  // The OIDs are parsed once, outside the loop, which favours net-snmp.
  std::vector<std::vector<oid>> oids;
  for (int i = 1; i <= 15; ++i) {
    std::vector<oid> name(MAX_OID_LEN);
    size_t length = MAX_OID_LEN;
    if (!read_objid(Oid(i).c_str(), name.data(), &length)) std::abort();
    name.resize(length);
    oids.push_back(name);
  }
  // The library may grow the packet buffer with realloc, so it comes from malloc.
  size_t capacity = 4096;
  auto* packet = static_cast<u_char*>(malloc(capacity));
  for (auto _ : state) {
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
    pdu->version = SNMP_VERSION_2c;
    for (const auto& name : oids) snmp_add_null_var(pdu, name.data(), name.size());
    size_t offset = 0;
    if (snmp_build(&packet, &capacity, &offset, &session, pdu) != 0) {
      state.SkipWithError(snmp_api_errstring(snmp_errno));
      snmp_free_pdu(pdu);
      break;
    }
    benchmark::DoNotOptimize(packet);
    snmp_free_pdu(pdu);
  }
  free(packet);
}
BENCHMARK(NetSnmpEncode)->Name("NetSnmp/Encode15Oids");

// ---- SNMPv3, authPriv with SHA-256 and AES-128

const std::string kEngineId("\x80\x00\x1F\x88\x04kestrava-bench", 19);
const char kUser[] = "kestrel";
const char kAuthPassword[] = "bench-auth-password";
const char kPrivPassword[] = "bench-priv-password";
constexpr int32_t kBoots = 7;
constexpr int32_t kTime = 123456;

// The localised keys, prepared once, as the component keeps them.
kestrava::TUsmKeys& V3Keys() {
  static kestrava::TUsmKeys keys;
  static const bool ready = keys.Prepare(
      kestrava::kAuthSha256, kestrava::LocalizeKey(kestrava::kAuthSha256, kAuthPassword, kEngineId),
      kestrava::kPrivAes128,
      kestrava::LocalizePrivKey(kestrava::kAuthSha256, kestrava::kPrivAes128, kPrivPassword,
                                kEngineId));
  if (!ready) std::abort();
  return keys;
}

kestrava::TUsmCredentials V3Credentials() {
  kestrava::TUsmCredentials creds;
  creds.User = kUser;
  creds.EngineId = kEngineId;
  creds.ClockKnown = true;
  creds.EngineBoots = kBoots;
  creds.EngineTime = kTime;
  creds.Salt = 0x1000;
  creds.Keys = &V3Keys();
  return creds;
}

// The agent's authPriv Response for 15 ifInOctets counters.
TByteBuffer FifteenCounterV3Response() {
  TSnmpMessage msg;
  msg.Version = kestrava::kSnmpV3;
  msg.RequestId = 734512;
  msg.MsgId = 5150;
  msg.MsgMaxSize = 65507;
  msg.ErrorStatus = 0;
  TObjectTable objects;
  objects.SetCount(15);
  for (int i = 1; i <= 15; ++i) {
    objects.At(i).Id.assign(Oid(i));
    objects.At(i).Type = kestrava::kTagCounter32;
    objects.At(i).Value.assign(std::to_string(3000000000u + 987654u * i));
  }
  const kestrava::TUsmCredentials creds = V3Credentials();
  TByteBuffer out;
  std::string error;
  if (kestrava::BuildMessage(kestrava::kActionResponse, msg, objects, out, error, &creds) != 0)
    std::abort();
  return out;
}

// net-snmp works on the datagram in place, so both sides take each datagram from a fresh
// copy, as a socket would hand it over.
void KestravaDecodeV3(benchmark::State& state) {
  const TByteBuffer response = FifteenCounterV3Response();
  std::vector<uint8_t> datagram(response.size());
  kestrava::TUsmKeys& keys = V3Keys();
  TSnmpMessage msg;
  TObjectTable objects;
  TByteBuffer plain;
  for (auto _ : state) {
    std::memcpy(datagram.data(), response.data(), response.size());
    const uint8_t* data = datagram.data();
    if (kestrava::ParseMessage(data, datagram.size(), msg, objects) != 0 ||
        !keys.Verify(data, datagram.size(), msg.AuthParamsOffset, msg.AuthParams.size()) ||
        kestrava::DecryptScopedPdu(data, datagram.size(), msg, objects, keys, plain) != 0)
      std::abort();
    benchmark::DoNotOptimize(objects.At(15).Value.data());
  }
}
BENCHMARK(KestravaDecodeV3)->Name("Kestrava/Decode15CountersAuthPriv");

void KestravaEncodeV3(benchmark::State& state) {
  TSnmpMessage msg;
  msg.Version = kestrava::kSnmpV3;
  TObjectTable objects;
  objects.SetCount(15);
  for (int i = 1; i <= 15; ++i) objects.At(i).Id.assign(Oid(i));
  kestrava::TUsmCredentials creds = V3Credentials();
  TByteBuffer out;
  std::string error;
  for (auto _ : state) {
    ++creds.Salt;  // a salt of its own per message, as the component gives
    if (kestrava::BuildMessage(kestrava::kActionGetRequest, msg, objects, out, error, &creds) != 0)
      std::abort();
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(KestravaEncodeV3)->Name("Kestrava/Encode15OidsAuthPriv");

// A net-snmp session for the same user, its user entry (keys localised to the engine) and the
// engine's clock, as net-snmp's own session opening would leave them.
netsnmp_session* NetSnmpV3Session() {
  static netsnmp_session session;
  static bool done = false;
  if (done) return &session;
  InitNetSnmp();
  snmp_sess_init(&session);
  session.version = SNMP_VERSION_3;
  session.securityName = const_cast<char*>(kUser);
  session.securityNameLen = std::strlen(kUser);
  session.securityModel = USM_SEC_MODEL_NUMBER;
  session.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
  session.securityAuthProto = usmHMAC192SHA256AuthProtocol;
  session.securityAuthProtoLen = OID_LENGTH(usmHMAC192SHA256AuthProtocol);
  session.securityAuthKeyLen = USM_AUTH_KU_LEN;
  session.securityPrivProto = usmAESPrivProtocol;
  session.securityPrivProtoLen = OID_LENGTH(usmAESPrivProtocol);
  session.securityPrivKeyLen = USM_PRIV_KU_LEN;
  session.securityEngineID = reinterpret_cast<u_char*>(const_cast<char*>(kEngineId.data()));
  session.securityEngineIDLen = kEngineId.size();
  session.contextEngineID = session.securityEngineID;
  session.contextEngineIDLen = session.securityEngineIDLen;
  session.contextName = const_cast<char*>("");
  session.contextNameLen = 0;
  if (generate_Ku(session.securityAuthProto, session.securityAuthProtoLen,
                  reinterpret_cast<const u_char*>(kAuthPassword), std::strlen(kAuthPassword),
                  session.securityAuthKey, &session.securityAuthKeyLen) != SNMPERR_SUCCESS ||
      generate_Ku(session.securityAuthProto, session.securityAuthProtoLen,
                  reinterpret_cast<const u_char*>(kPrivPassword), std::strlen(kPrivPassword),
                  session.securityPrivKey, &session.securityPrivKeyLen) != SNMPERR_SUCCESS ||
      usm_create_user_from_session(&session) != SNMPERR_SUCCESS ||
      set_enginetime(session.securityEngineID, session.securityEngineIDLen, kBoots, kTime, TRUE) !=
          SNMPERR_SUCCESS)
    std::abort();
  done = true;
  return &session;
}

void NetSnmpDecodeV3(benchmark::State& state) {
  netsnmp_session* session = NetSnmpV3Session();
  const TByteBuffer response = FifteenCounterV3Response();
  std::vector<u_char> data(response.size());
  for (auto _ : state) {
    std::memcpy(data.data(), response.data(), response.size());
    // As net-snmp's own receive path does: a fresh PDU per datagram, checked, decrypted,
    // parsed, then freed.
    auto* pdu = static_cast<netsnmp_pdu*>(calloc(1, sizeof(netsnmp_pdu)));
    if (snmp_parse(nullptr, session, pdu, data.data(), data.size()) != 0) {
      state.SkipWithError(snmp_api_errstring(snmp_errno));
      snmp_free_pdu(pdu);
      break;
    }
    benchmark::DoNotOptimize(pdu->variables);
    snmp_free_pdu(pdu);
  }
}
BENCHMARK(NetSnmpDecodeV3)->Name("NetSnmp/Decode15CountersAuthPriv");

void NetSnmpEncodeV3(benchmark::State& state) {
  netsnmp_session* session = NetSnmpV3Session();
  std::vector<std::vector<oid>> oids;
  for (int i = 1; i <= 15; ++i) {
    std::vector<oid> name(MAX_OID_LEN);
    size_t length = MAX_OID_LEN;
    if (!read_objid(Oid(i).c_str(), name.data(), &length)) std::abort();
    name.resize(length);
    oids.push_back(name);
  }
  size_t capacity = 4096;
  auto* packet = static_cast<u_char*>(malloc(capacity));
  for (auto _ : state) {
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
    pdu->version = SNMP_VERSION_3;
    for (const auto& name : oids) snmp_add_null_var(pdu, name.data(), name.size());
    size_t offset = 0;
    if (snmp_build(&packet, &capacity, &offset, session, pdu) != 0) {
      state.SkipWithError(snmp_api_errstring(snmp_errno));
      snmp_free_pdu(pdu);
      break;
    }
    benchmark::DoNotOptimize(packet);
    snmp_free_pdu(pdu);
  }
  free(packet);
}
BENCHMARK(NetSnmpEncodeV3)->Name("NetSnmp/Encode15OidsAuthPriv");

}  // namespace

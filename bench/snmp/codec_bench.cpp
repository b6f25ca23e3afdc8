// The codec beside net-snmp's library, in one run: decode of a Response carrying 15 Counter32
// bindings, and encode of a GetRequest for 15 OIDs. Compare the ns per message of the pairs
// (Kestrava/... against NetSnmp/...).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "snmp/codec.h"

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

}  // namespace

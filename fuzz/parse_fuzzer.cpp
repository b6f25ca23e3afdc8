// Feeds arbitrary datagrams to the message parser. Whatever parses is built again as a
// Response and parsed once more, so the builder meets every value the parser can produce.
// SNMPv3 messages also go through the digest check and, when flagged for privacy, through
// decryption and the parse of what comes out, under the fixed keys the encrypted seeds were
// made with (fuzz/parse_fuzzer_keys.h).
// The sanitizers report any read outside the datagram and any undefined behaviour.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/parse_fuzzer_keys.h"
#include "snmp/codec.h"
#include "snmp/usm.h"

namespace {

// The two key sets of the seeds, prepared once.
kestrava::TUsmKeys& Keys(bool des) {
  static kestrava::TUsmKeys aes;
  static kestrava::TUsmKeys cbc;
  static const bool ready = aes.Prepare(kestrava::kAuthSha256, kestrava::fuzzing::kSha256Key,
                                        kestrava::kPrivAes128, kestrava::fuzzing::kAesKey) &&
                            cbc.Prepare(kestrava::kAuthSha1, kestrava::fuzzing::kSha1Key,
                                        kestrava::kPrivDes, kestrava::fuzzing::kDesKey);
  if (!ready) std::abort();
  return des ? cbc : aes;
}

// Verifies and decrypts under each key set; what decrypts is built again with the same keys
// and must come back through verification and decryption with the same bindings.
int ThroughSecurity(const uint8_t* data, size_t size, kestrava::TSnmpMessage& msg) {
  for (const bool des : {false, true}) {
    kestrava::TUsmKeys& keys = Keys(des);
    if (msg.MsgFlags & 1) keys.Verify(data, size, msg.AuthParamsOffset, msg.AuthParams.size());
    if (!(msg.MsgFlags & 2)) continue;
    kestrava::TObjectTable objects;
    kestrava::TByteBuffer plain;
    const int rc = kestrava::DecryptScopedPdu(data, size, msg, objects, keys, plain);
    if (rc != 0 && rc != 200 && rc != 306 && rc != 313 && rc != 446 && rc != 447) std::abort();
    if (rc != 0) continue;
    kestrava::TUsmCredentials creds;
    creds.User = msg.UserName.str();
    creds.EngineId = msg.AuthEngineId.str();
    creds.ContextName = msg.ContextName.str();
    creds.ClockKnown = true;
    creds.EngineBoots = msg.EngineBoots < 0 ? 0 : msg.EngineBoots;
    creds.EngineTime = msg.EngineTime < 0 ? 0 : msg.EngineTime;
    creds.Salt = 1;
    creds.Keys = &keys;
    kestrava::TSnmpMessage response = msg;
    kestrava::TByteBuffer out;
    std::string error;
    if (kestrava::BuildMessage(kestrava::kActionResponse, response, objects, out, error, &creds) !=
        0)
      continue;
    kestrava::TSnmpMessage again;
    kestrava::TObjectTable reread;
    kestrava::TByteBuffer replain;
    if (kestrava::ParseMessage(out.data(), out.size(), again, reread) != 0) std::abort();
    if (!keys.Verify(out.data(), out.size(), again.AuthParamsOffset, again.AuthParams.size()))
      std::abort();
    if (kestrava::DecryptScopedPdu(out.data(), out.size(), again, reread, keys, replain) != 0)
      std::abort();
    if (reread.Count() != objects.Count()) std::abort();
  }
  return 0;
}

int ParseAndRebuild(const uint8_t* data, size_t size) {
  kestrava::TSnmpMessage msg;
  kestrava::TObjectTable objects;
  const int rc = kestrava::ParseMessage(data, size, msg, objects);
  switch (rc) {
    case 0:
      break;
    case 200:
    case 305:
    case 306:
    case 316:
    case 446:
    case 447:
      return 0;
    default:
      std::abort();  // the parser answers with its own codes only
  }
  // Every binding is read; each takes six octets at least (30 04 06 00 05 00).
  if (objects.Count() < 0 || static_cast<size_t>(objects.Count()) > size / 6) std::abort();
  if (msg.Version == kestrava::kSnmpV3) return ThroughSecurity(data, size, msg);
  kestrava::TByteBuffer out;
  std::string error;
  if (kestrava::BuildMessage(kestrava::kActionResponse, msg, objects, out, error) != 0) return 0;
  kestrava::TSnmpMessage again;
  kestrava::TObjectTable reread;
  // A message the codec built must parse back, with the same number of bindings.
  if (kestrava::ParseMessage(out.data(), out.size(), again, reread) != 0) std::abort();
  if (reread.Count() != objects.Count()) std::abort();
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return ParseAndRebuild(data, size);
}

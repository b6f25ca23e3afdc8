// Feeds arbitrary datagrams to the message parser. Whatever parses is built again as a
// Response and parsed once more, so the builder meets every value the parser can produce.
// The sanitizers report any read outside the datagram and any undefined behaviour.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "snmp/codec.h"

namespace {

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
  if (objects.Count() < 0 || objects.Count() > kestrava::kMaxObjects) std::abort();
  if (msg.Version == kestrava::kSnmpV3) return 0;
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

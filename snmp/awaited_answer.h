#pragma once
// The checks of an answer against its request: where it came from and with which community,
// for the component's blocking sends and the program's asynchronous answers alike, and, for a
// blocking send, the request it waits for.
// Thread: any; the functions hold no state.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava {

struct TSnmpMessage;

// An address as AddressText writes it, a port, and a community.
struct TAnswerSource {
  std::string_view Address;
  int Port = 0;
  std::string_view Community;
};

// Why an answer from `got` is not an answer to what was sent to `asked` (an errors.h text), or
// nullptr: another address, another port (unless anyPort), or for SNMPv1 and SNMPv2c another
// community; SNMPv3 answers are bound to the engine and user by the security checks instead.
const char* SourceMismatch(const TAnswerSource& asked, const TAnswerSource& got, int version,
                           bool anyPort = false);

// The request a blocking send waits for.
struct TAwaitedAnswer {
  int32_t RequestId = 0;
  int32_t MsgId = 0;
  int32_t Version = 0;
  std::string Community;
  std::string User;  // SNMPv3; empty for a discovery

  // Why `in`, received from `got`, is not the answer to this request sent to `asked`, or
  // nullptr. A report may name another engine than remoteEngineId: the agent's answer to a
  // discovery, or to an engine id it no longer has.
  const char* Mismatch(const TAnswerSource& asked, const TAnswerSource& got, const TSnmpMessage& in,
                       std::string_view remoteEngineId, bool anyPort) const;
};

}  // namespace kestrava

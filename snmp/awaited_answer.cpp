#include "snmp/awaited_answer.h"

#include "snmp/codec.h"
#include "snmp/errors.h"

namespace kestrava {

namespace {

bool SameOrigin(const TAnswerSource& asked, const TAnswerSource& got, bool anyPort) {
  return got.Address == asked.Address && (anyPort || got.Port == asked.Port);
}

}  // namespace

const char* SourceMismatch(const TAnswerSource& asked, const TAnswerSource& got, int version,
                           bool anyPort) {
  if (!SameOrigin(asked, got, anyPort)) return kTextOriginUnknown;
  // Whoever can send from the agent's address must still know the community.
  if (version != kSnmpV3 && got.Community != asked.Community) return kTextCommunityMismatch;
  return nullptr;
}

const char* TAwaitedAnswer::Mismatch(const TAnswerSource& asked, const TAnswerSource& got,
                                     const TSnmpMessage& in, std::string_view remoteEngineId,
                                     bool anyPort) const {
  if (!SameOrigin(asked, got, anyPort)) return kTextOriginUnknown;
  if (in.Version != Version) return kTextVersionMismatch;
  if (in.Version != kSnmpV3) {
    if (in.RequestId != RequestId) return kTextRequestIdMismatch;
    return SourceMismatch(asked, got, in.Version, anyPort);
  }
  if (in.MsgId != MsgId) return kTextV3MessageIdMismatch;
  if (!in.UserName.empty() && !User.empty() && in.UserName.view() != User)
    return kTextV3UserMismatch;
  if (in.PduType != kPduReport && !in.AuthEngineId.empty() && !remoteEngineId.empty() &&
      in.AuthEngineId.view() != remoteEngineId)
    return kTextV3EngineIdMismatch;
  return nullptr;
}

}  // namespace kestrava

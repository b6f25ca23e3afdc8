// The receive path of the manager: every datagram taken from the socket is parsed, matched,
// checked and delivered as one event; SNMPv3 messages pass the user-based security checks.

#include <cstdlib>

#include "snmp/errors.h"
#include "snmp/snmpmgr_manager.h"

namespace kestrava {

void TSnmpManager::ProcessDatagram(const uint8_t* data, size_t size, const TNetAddress& addr,
                                   uint16_t port) {
  const std::string source = AddressText(addr);
  in.Clear();
  objects.SetCount(0);
  FirePacketTrace(data, size, 1, source, port);
  if (const int parsed = ParseMessage(data, size, in, objects); parsed != 0) {
    FireError(parsed, kTextParseError);
    return;
  }
  bool awaited = false;
  if (blockingCall.waiting) {
    if (const char* mismatch = AwaitedMismatch(source, port)) {
      ++droppedPackets;
      FireBadPacket(data, size, source, port, kErrMismatch, mismatch);
      return;
    }
    awaited = true;
  }
  if (IsRequestPdu(in.PduType)) {
    // A manager takes no requests; a blocking send that waited for this one is over.
    if (awaited) {
      blockingCall.error = 0;
      blockingCall.answered = true;
      blockingCall.waiting = false;
    }
    FireBadPacket(data, size, source, port, kErrRole, kTextRole);
    return;
  }
  if (in.Version == kSnmpV3 && !awaited && !FromAgent(addr, port) && in.PduType != kPduTrapV2 &&
      in.PduType != kPduInformRequest) {
    // Reports and answers speak for the agent only from its address and port: from anywhere
    // else a report could end a request, name another engine or a clock.
    ++droppedPackets;
    FireBadPacket(data, size, source, port, kErrMismatch, kTextOriginUnknown);
    return;
  }
  if (in.Version == kSnmpV3) {
    ProcessV3(data, size, addr, port, source, awaited);
    return;
  }
  Answered(awaited, [&] { Deliver(addr, port, source); });
}

const char* TSnmpManager::AwaitedMismatch(const std::string& source, uint16_t port) const {
  const std::string agentText = AddressText(remote.addr);
  const std::string community = in.Community.str();
  return awaited.Mismatch({agentText, remote.port, awaited.Community}, {source, port, community},
                          in, peer.EngineId, settings.ignorePortMismatch);
}

void TSnmpManager::Deliver(const TNetAddress& addr, uint16_t port, const std::string& source) {
  switch (in.PduType) {
    case kPduResponse:
      FireResponseLike(kEventResponse, source, port);
      return;
    case kPduReport:
      FireResponseLike(kEventReport, source, port);
      return;
    case kPduTrapV1:
    case kPduTrapV2:
      DeliverTrap(source, port);
      return;
    case kPduInformRequest:
      // A manager has no use for informs; only a listener answers them. Anyone can send one,
      // so without that role it is dropped like any datagram that is not an answer.
      if (settings.answerInforms)
        AnswerInform(addr, port, source);
      else
        ++droppedPackets;
      return;
    default:
      return;
  }
}

void TSnmpManager::DeliverTrap(const std::string& source, uint16_t port) {
  std::string trapOid;
  uint32_t timeStamp = 0;
  if (in.Version == kSnmpV1) {
    // The generic traps have OIDs of their own under snmpTraps; the rest name the enterprise.
    trapOid = in.Enterprise.str();
    if (trapOid == "1.3.6.1.6.3.1.1.5")
      trapOid += "." + std::to_string(in.GenericTrap + 1);
    else
      trapOid += "." + std::to_string(in.GenericTrap) + "." + std::to_string(in.SpecificTrap);
    timeStamp = in.TimeStamp;
  } else {
    for (int i = 1; i <= objects.Count(); ++i) {
      const TSnmpObject& o = objects.At(i);
      if (o.Id == std::string_view("1.3.6.1.6.3.1.1.4.1.0")) trapOid = o.Value.str();
      if (o.Id == std::string_view("1.3.6.1.2.1.1.3.0"))
        timeStamp = static_cast<uint32_t>(ParseInt(o.Value.str()));
    }
  }
  const std::string community = in.Community.str();
  const std::string userName = in.UserName.str();
  intptr_t p[9] = {in.RequestId,
                   in.Version,
                   reinterpret_cast<intptr_t>(community.c_str()),
                   reinterpret_cast<intptr_t>(userName.c_str()),
                   in.SecurityLevel,
                   reinterpret_cast<intptr_t>(trapOid.c_str()),
                   static_cast<intptr_t>(timeStamp),
                   reinterpret_cast<intptr_t>(source.c_str()),
                   port};
  int l[9] = {};
  Fire(kEventTrap, 9, p, l);
}

void TSnmpManager::AnswerInform(const TNetAddress& addr, uint16_t port, const std::string& source) {
  const std::string community = in.Community.str();
  const std::string userName = in.UserName.str();
  const std::string description = ErrorStatusName(in.ErrorStatus);
  intptr_t p[10] = {in.RequestId,
                    in.Version,
                    reinterpret_cast<intptr_t>(community.c_str()),
                    reinterpret_cast<intptr_t>(userName.c_str()),
                    in.SecurityLevel,
                    reinterpret_cast<intptr_t>(source.c_str()),
                    port,
                    in.ErrorIndex,
                    in.ErrorStatus,
                    reinterpret_cast<intptr_t>(description.c_str())};
  int l[10] = {};
  Fire(kEventInformRequest, 10, p, l);
  in.ErrorIndex = static_cast<int32_t>(p[7]);
  in.ErrorStatus = static_cast<int32_t>(p[8]);
  if (in.ErrorStatus == -1) return;  // the handler chose not to answer
  std::string text;
  // The reply goes back to the sender on its own: the agent the requests go to stays as it is.
  int code = BuildMessage(kActionResponse, in, objects, packet, text);
  if (code != 0) {
    FireError(code, kTextBuildResponse);
    return;
  }
  FirePacketTrace(packet.data(), packet.size(), 2, source, port);
  code = socket.SendTo(packet.data(), packet.size(), addr, port);
  if (code != 0) FireError(code, kTextSendResponse);
}

void TSnmpManager::FireError(int code, const std::string& text) {
  intptr_t p[2] = {code, reinterpret_cast<intptr_t>(text.c_str())};
  int l[2] = {};
  Fire(kEventError, 2, p, l);
}

void TSnmpManager::FireBadPacket(const uint8_t* data, size_t size, const std::string& addr,
                                 int port, int code, const char* text) {
  intptr_t p[6] = {reinterpret_cast<intptr_t>(data),
                   reinterpret_cast<intptr_t>(addr.c_str()),
                   port,
                   code,
                   reinterpret_cast<intptr_t>(text),
                   0};
  int l[6] = {static_cast<int>(size)};
  Fire(kEventBadPacket, 6, p, l);  // the manager ignores what a handler writes into Report
}

void TSnmpManager::FirePacketTrace(const uint8_t* data, size_t size, int direction,
                                   const std::string& addr, int port) {
  intptr_t p[4] = {reinterpret_cast<intptr_t>(data), direction,
                   reinterpret_cast<intptr_t>(addr.c_str()), port};
  int l[4] = {static_cast<int>(size)};
  Fire(kEventPacketTrace, 4, p, l);
}

void TSnmpManager::FireResponseLike(int event, const std::string& addr, int port) {
  const std::string community = in.Community.str();
  const std::string userName = in.UserName.str();
  const char* description = ErrorStatusName(in.ErrorStatus);
  intptr_t p[10] = {in.RequestId,
                    in.Version,
                    reinterpret_cast<intptr_t>(community.c_str()),
                    reinterpret_cast<intptr_t>(userName.c_str()),
                    in.SecurityLevel,
                    reinterpret_cast<intptr_t>(addr.c_str()),
                    port,
                    in.ErrorIndex,
                    in.ErrorStatus,
                    reinterpret_cast<intptr_t>(description)};
  int l[10] = {};
  Fire(event, 10, p, l);
}

}  // namespace kestrava

#pragma once
// TSnmpMgr: the typed SNMP manager component. Every property access and method call maps
// onto the numbered interface of the manager (snmp/snmpmgr_core.h); a nonzero result raises
// ESnmpMgr with the code and the manager's last error text.
// Thread: create it on a thread that runs a Qt event loop; all events are delivered in that
// thread, through that loop (and from inside a blocking send's wait). Other threads may call
// it when they serialise their calls against the event handlers themselves: the component
// holds no lock. Sending (with an implicit open) works from any thread.
//
// SNMPv3 (SNMPVersion 3), as Config settings that Reset keeps, with User as the user name:
//   SecurityLevel  noAuthNoPriv (default), authNoPriv or authPriv
//   AuthType       MD5 (default), SHA, SHA-224, SHA-256, SHA-384 or SHA-512
//   AuthPassword   8 characters or more (315 otherwise); reads back as empty text
//   PrivType       DES (default), AES, AES-192 or AES-256
//   PrivPassword   8 characters or more; reads back as empty text
//   ContextName    the context name of every request (default empty)
// Names compare without regard to case; an unknown one fails with 314, a level without its
// password fails the send with 317. While the Password property is set it decides instead
// (authNoPriv with the AuthProtocol property, 1 MD5 .. 6 SHA-512), as it always did.
// Nothing more is needed to send: the component learns the agent's engine id and clock before
// the first request (asynchronous requests wait for that answer), sends a request once more
// after the agent reports a clock or engine id it did not expect (a reboot, a new engine),
// and reports the agent's other USM reports as their own errors (323..328: OnError, or the
// failing call in blocking mode). Writing RemoteHost or RemotePort with the value it holds
// keeps what was learnt of the engine. Passwords and keys appear in no text and no event.
// DroppedPackets (read-only Config): answers a blocking send refused as not its own, and
// InformRequests that were not answered. AnswerInforms (Config, default false) is the listener
// role: informs are then answered to their sender (OnInformRequest may change the answer) and
// never change RemoteHost or RemotePort.

#include <cstdint>
#include <functional>
#include <string>

#include "snmp/componentcore.h"
#include "snmp/snmp_value.h"

namespace kestrava {

struct TSnmpManager;

class TSnmpMgr : public TComponentCore {
 public:
  TSnmpMgr();  // events are delivered in the creating thread, through its Qt event loop
  ~TSnmpMgr() override;

  bool ReceiveEnabled();
  void SetReceiveEnabled(bool value);
  bool Active();
  void SetActive(bool value);
  int AuthProtocol();
  void SetAuthProtocol(int value);
  std::string Community();
  void SetCommunity(const std::string& value);
  std::string ErrorDescription();
  int ErrorIndex();
  int ErrorStatus();
  std::string LocalEngineId();
  void SetLocalEngineId(const std::string& value);
  std::string LocalHost();
  void SetLocalHost(const std::string& value);
  int LocalPort();
  void SetLocalPort(int value);
  int ObjCount();
  void SetObjCount(int value);
  std::string ObjId(int index);  // REQUIRES: 1 <= index <= ObjCount, else ESnmpMgr 280
  void SetObjId(int index, const std::string& value);
  int ObjType(int index);
  void SetObjType(int index, int value);
  std::string ObjValue(int index);  // REQUIRES: 1 <= index <= ObjCount, else ESnmpMgr 280
  void SetObjValue(int index, const std::string& value);
  // An object's OID and its value as the codec decoded it, typed (ObjValue is its Text()), into
  // the caller's storage, which is reused. REQUIRES: 1 <= index <= ObjCount, else ESnmpMgr 280.
  void ReadObject(int index, std::string& id, TSnmpValue& value);
  std::string Password();
  void SetPassword(const std::string& value);
  int RemoteEngineBoots();
  void SetRemoteEngineBoots(int value);
  std::string RemoteEngineId();
  void SetRemoteEngineId(const std::string& value);
  int RemoteEngineTime();
  void SetRemoteEngineTime(int value);
  std::string RemoteHost();
  void SetRemoteHost(const std::string& value);
  int RemotePort();
  void SetRemotePort(int value);
  int RequestId();
  void SetRequestId(int value);
  int SNMPVersion();
  void SetSNMPVersion(int value);
  int Timeout();
  void SetTimeout(int value);
  std::string User();
  void SetUser(const std::string& value);

  // "Name" reads a setting, "Name=value" changes it and returns empty text.
  std::string Config(const std::string& setting);
  void Discover();
  void ProcessEvents();
  void Interrupt();
  void Reset();
  void SendGetBulkRequest(int nonRepeaters, int maxRepetitions);
  void SendGetNextRequest();
  void SendGetRequest();
  void SendInformRequest();
  void SendSetRequest();
  std::string ValueForOid(const std::string& oid);
  // The clock the component reads, in milliseconds on a steady scale (the steady clock unless
  // set): time-outs, the agent's clock between its messages, how long requests are kept.
  void SetClock(std::function<int64_t()> nowMs);

  std::function<void(TSnmpMgr& Sender, const std::string& Packet, const std::string& SourceAddress,
                     int SourcePort, int ErrorCode, const std::string& ErrorDescription,
                     bool& Report)>
      OnBadPacket;
  std::function<void(TSnmpMgr& Sender, const std::string& EngineId, int EngineBoots, int EngineTime,
                     const std::string& User, int SecurityLevel, const std::string& SourceAddress,
                     int SourcePort, bool& Respond)>
      OnDiscoveryRequest;
  std::function<void(TSnmpMgr& Sender, const std::string& EngineId, int EngineBoots, int EngineTime,
                     const std::string& User, int SecurityLevel, const std::string& SourceAddress,
                     int SourcePort)>
      OnDiscoveryResponse;
  std::function<void(TSnmpMgr& Sender, int ErrorCode, const std::string& Description)> OnError;
  std::function<void(TSnmpMgr& Sender, int RequestId, int SNMPVersion, const std::string& Community,
                     const std::string& User, int SecurityLevel, const std::string& SourceAddress,
                     int SourcePort, int& ErrorIndex, int& ErrorStatus,
                     const std::string& ErrorDescription)>
      OnInformRequest;
  std::function<void(TSnmpMgr& Sender, const std::string& Packet, int Direction,
                     const std::string& PacketAddress, int PacketPort)>
      OnPacketTrace;
  std::function<void(TSnmpMgr& Sender, int RequestId, int SNMPVersion, const std::string& Community,
                     const std::string& User, int SecurityLevel, const std::string& SourceAddress,
                     int SourcePort, int ErrorIndex, int ErrorStatus,
                     const std::string& ErrorDescription)>
      OnReport;
  std::function<void(TSnmpMgr& Sender, int RequestId, int SNMPVersion, const std::string& Community,
                     const std::string& User, int SecurityLevel, const std::string& SourceAddress,
                     int SourcePort, int ErrorIndex, int ErrorStatus,
                     const std::string& ErrorDescription)>
      OnResponse;
  std::function<void(TSnmpMgr& Sender, int RequestId, int SNMPVersion, const std::string& Community,
                     const std::string& User, int SecurityLevel, const std::string& TrapOID,
                     int64_t TimeStamp, const std::string& SourceAddress, int SourcePort)>
      OnTrap;

 private:
  static int Dispatch(void* userData, int eventId, int paramCount, intptr_t* params, int* lengths);
  int GetInt(int property);
  std::string GetText(int property, int index = 0);
  void SetInt(int property, int index, int value);
  void SetText(int property, int index, const std::string& value);
  void Do(int method, int argc, intptr_t* argv, int* argl);
  [[noreturn]] void RaiseLast(int code);

  TSnmpManager* m_manager;
};

}  // namespace kestrava

#include "snmp/snmpmgr.h"

#include <utility>

#include "snmp/snmpmgr_core.h"
#include "snmp/snmpmgr_manager.h"

namespace kestrava {

namespace {

std::string TextParam(intptr_t value) {
  const char* p = reinterpret_cast<const char*>(value);
  return p ? std::string(p) : std::string();
}

std::string BytesParam(intptr_t value, int length) {
  const char* p = reinterpret_cast<const char*>(value);
  return p && length > 0 ? std::string(p, static_cast<size_t>(length)) : std::string();
}

int IntParam(intptr_t value) {
  return static_cast<int>(value);
}

// Indexed properties take a 16-bit unsigned index.
int Index16(int index) {
  return static_cast<uint16_t>(index);
}

}  // namespace

TSnmpMgr::TSnmpMgr() : m_manager(SNMPMgr_Create(&TSnmpMgr::Dispatch, this)) {
  if (!m_manager) Raise(-1, "The SNMP manager component could not be created.");
  auto guarded = [](auto&& step) {
    try {
      step();
    } catch (const std::exception&) {
    }
  };
  guarded([&] { SetCommunity("cobalt"); });
  guarded([&] { SetLocalEngineId(""); });
  guarded([&] { SetLocalPort(162); });
  guarded([&] { SetPassword(""); });
  guarded([&] { SetRemoteEngineBoots(0); });
  guarded([&] { SetRemoteEngineId(""); });
  guarded([&] { SetRemoteEngineTime(0); });
  guarded([&] { SetRemoteHost(""); });
  guarded([&] { SetRemotePort(161); });
  guarded([&] { SetSNMPVersion(2); });
  guarded([&] { SetTimeout(60); });
  guarded([&] { SetUser(""); });
}

TSnmpMgr::~TSnmpMgr() {
  SNMPMgr_Destroy(m_manager);
}

void TSnmpMgr::RaiseLast(int code) {
  Raise(code, SNMPMgr_GetLastError(m_manager));
}

int TSnmpMgr::GetInt(int property) {
  return static_cast<int>(SNMPMgr_Get(m_manager, property, 0, nullptr));
}

std::string TSnmpMgr::GetText(int property, int index) {
  int length = 0;
  const intptr_t value = SNMPMgr_Get(m_manager, property, index, &length);
  return BytesParam(value, length);
}

void TSnmpMgr::SetInt(int property, int index, int value) {
  const int code = SNMPMgr_Set(m_manager, property, index, value, 0);
  if (code != 0) RaiseLast(code);
}

void TSnmpMgr::SetText(int property, int index, const std::string& value) {
  const int code = SNMPMgr_Set(m_manager, property, index, reinterpret_cast<intptr_t>(value.data()),
                               static_cast<int>(value.size()));
  if (code != 0) RaiseLast(code);
}

void TSnmpMgr::Do(int method, int argc, intptr_t* argv, int* argl) {
  const int code = SNMPMgr_Do(m_manager, method, argc, argv, argl);
  if (code != 0) RaiseLast(code);
}

bool TSnmpMgr::ReceiveEnabled() {
  return GetInt(kPropReceiveEnabled) != 0;
}
void TSnmpMgr::SetReceiveEnabled(bool value) {
  SetInt(kPropReceiveEnabled, 0, value);
}
bool TSnmpMgr::Active() {
  return GetInt(kPropActive) != 0;
}
void TSnmpMgr::SetActive(bool value) {
  SetInt(kPropActive, 0, value);
}
int TSnmpMgr::AuthProtocol() {
  return GetInt(kPropAuthProtocol);
}
void TSnmpMgr::SetAuthProtocol(int value) {
  SetInt(kPropAuthProtocol, 0, value);
}
std::string TSnmpMgr::Community() {
  return GetText(kPropCommunity);
}
void TSnmpMgr::SetCommunity(const std::string& value) {
  SetText(kPropCommunity, 0, value);
}
std::string TSnmpMgr::ErrorDescription() {
  return GetText(kPropErrorDescription);
}
int TSnmpMgr::ErrorIndex() {
  return GetInt(kPropErrorIndex);
}
int TSnmpMgr::ErrorStatus() {
  return GetInt(kPropErrorStatus);
}
std::string TSnmpMgr::LocalEngineId() {
  return GetText(kPropLocalEngineId);
}
void TSnmpMgr::SetLocalEngineId(const std::string& value) {
  SetText(kPropLocalEngineId, 0, value);
}
std::string TSnmpMgr::LocalHost() {
  return GetText(kPropLocalHost);
}
void TSnmpMgr::SetLocalHost(const std::string& value) {
  SetText(kPropLocalHost, 0, value);
}
int TSnmpMgr::LocalPort() {
  return GetInt(kPropLocalPort);
}
void TSnmpMgr::SetLocalPort(int value) {
  SetInt(kPropLocalPort, 0, value);
}
int TSnmpMgr::ObjCount() {
  return GetInt(kPropObjCount);
}
void TSnmpMgr::SetObjCount(int value) {
  SetInt(kPropObjCount, 0, value);
}

std::string TSnmpMgr::ObjId(int index) {
  const int code = SNMPMgr_CheckIndex(m_manager, kPropObjId, Index16(index));
  if (code != 0) Raise(code, "Invalid array index value for ObjId");
  return GetText(kPropObjId, Index16(index));
}
void TSnmpMgr::SetObjId(int index, const std::string& value) {
  SetText(kPropObjId, Index16(index), value);
}
int TSnmpMgr::ObjType(int index) {
  return static_cast<int>(SNMPMgr_Get(m_manager, kPropObjType, Index16(index), nullptr));
}
void TSnmpMgr::SetObjType(int index, int value) {
  SetInt(kPropObjType, Index16(index), value);
}
std::string TSnmpMgr::ObjValue(int index) {
  const int code = SNMPMgr_CheckIndex(m_manager, kPropObjValue, Index16(index));
  if (code != 0) Raise(code, "Invalid array index value for ObjValue");
  return GetText(kPropObjValue, Index16(index));
}
void TSnmpMgr::SetObjValue(int index, const std::string& value) {
  SetText(kPropObjValue, Index16(index), value);
}
void TSnmpMgr::ReadObject(int index, std::string& id, TSnmpValue& value) {
  TObjValueView view;
  const int code = SNMPMgr_GetObjValue(m_manager, Index16(index), &view);
  if (code != 0) Raise(code, "Invalid array index value for ObjValue");
  int length = 0;
  const char* oid =
      reinterpret_cast<const char*>(SNMPMgr_Get(m_manager, kPropObjId, Index16(index), &length));
  id.assign(oid, static_cast<size_t>(length));
  value.Tag = view.Tag;
  value.Magnitude = view.Magnitude;
  value.Negative = view.Negative;
  if (IsNumericTag(view.Tag))
    value.Bytes.clear();
  else
    value.Bytes.assign(view.Bytes, static_cast<size_t>(view.Length));
}

std::string TSnmpMgr::Password() {
  return GetText(kPropPassword);
}
void TSnmpMgr::SetPassword(const std::string& value) {
  SetText(kPropPassword, 0, value);
}
int TSnmpMgr::RemoteEngineBoots() {
  return GetInt(kPropRemoteEngineBoots);
}
void TSnmpMgr::SetRemoteEngineBoots(int value) {
  SetInt(kPropRemoteEngineBoots, 0, value);
}
std::string TSnmpMgr::RemoteEngineId() {
  return GetText(kPropRemoteEngineId);
}
void TSnmpMgr::SetRemoteEngineId(const std::string& value) {
  SetText(kPropRemoteEngineId, 0, value);
}
int TSnmpMgr::RemoteEngineTime() {
  return GetInt(kPropRemoteEngineTime);
}
void TSnmpMgr::SetRemoteEngineTime(int value) {
  SetInt(kPropRemoteEngineTime, 0, value);
}
std::string TSnmpMgr::RemoteHost() {
  return GetText(kPropRemoteHost);
}
void TSnmpMgr::SetRemoteHost(const std::string& value) {
  SetText(kPropRemoteHost, 0, value);
}
int TSnmpMgr::RemotePort() {
  return GetInt(kPropRemotePort);
}
void TSnmpMgr::SetRemotePort(int value) {
  SetInt(kPropRemotePort, 0, value);
}
int TSnmpMgr::RequestId() {
  return GetInt(kPropRequestId);
}
void TSnmpMgr::SetRequestId(int value) {
  SetInt(kPropRequestId, 0, value);
}
int TSnmpMgr::SNMPVersion() {
  return GetInt(kPropSNMPVersion);
}
void TSnmpMgr::SetSNMPVersion(int value) {
  SetInt(kPropSNMPVersion, 0, value);
}
int TSnmpMgr::Timeout() {
  return GetInt(kPropTimeout);
}
void TSnmpMgr::SetTimeout(int value) {
  SetInt(kPropTimeout, 0, value);
}
std::string TSnmpMgr::User() {
  return GetText(kPropUser);
}
void TSnmpMgr::SetUser(const std::string& value) {
  SetText(kPropUser, 0, value);
}

std::string TSnmpMgr::Config(const std::string& setting) {
  intptr_t argv[2] = {reinterpret_cast<intptr_t>(setting.data()), 0};
  int argl[2] = {static_cast<int>(setting.size()), 0};
  Do(kMethodConfig, 2, argv, argl);
  return BytesParam(argv[1], argl[1]);
}
void TSnmpMgr::Discover() {
  Do(kMethodDiscover, 0, nullptr, nullptr);
}
void TSnmpMgr::ProcessEvents() {
  Do(kMethodProcessEvents, 0, nullptr, nullptr);
}
void TSnmpMgr::SetClock(std::function<int64_t()> nowMs) {
  m_manager->now = std::move(nowMs);
}

void TSnmpMgr::Interrupt() {
  Do(kMethodInterrupt, 0, nullptr, nullptr);
}
void TSnmpMgr::Reset() {
  Do(kMethodReset, 0, nullptr, nullptr);
}
void TSnmpMgr::SendGetBulkRequest(int nonRepeaters, int maxRepetitions) {
  intptr_t argv[2] = {nonRepeaters, maxRepetitions};
  int argl[2] = {};
  Do(kMethodSendGetBulkRequest, 2, argv, argl);
}
void TSnmpMgr::SendGetNextRequest() {
  Do(kMethodSendGetNextRequest, 0, nullptr, nullptr);
}
void TSnmpMgr::SendGetRequest() {
  Do(kMethodSendGetRequest, 0, nullptr, nullptr);
}
void TSnmpMgr::SendInformRequest() {
  Do(kMethodSendInformRequest, 0, nullptr, nullptr);
}
void TSnmpMgr::SendSetRequest() {
  Do(kMethodSendSetRequest, 0, nullptr, nullptr);
}
std::string TSnmpMgr::ValueForOid(const std::string& oid) {
  intptr_t argv[2] = {reinterpret_cast<intptr_t>(oid.data()), 0};
  int argl[2] = {static_cast<int>(oid.size()), 0};
  Do(kMethodValueForOid, 2, argv, argl);
  return BytesParam(argv[1], argl[1]);
}

// ---- events: the manager's numbered parameters as each handler's arguments; what a handler may
// change is written back into them ----

namespace {

using TResponseHandler = decltype(TSnmpMgr::OnResponse);

void DeliverBadPacket(TSnmpMgr& self, int count, intptr_t* p, int* l) {
  if (!self.OnBadPacket || count < 6) return;
  bool report = p[5] != 0;
  self.OnBadPacket(self, BytesParam(p[0], l[0]), TextParam(p[1]), IntParam(p[2]), IntParam(p[3]),
                   TextParam(p[4]), report);
  p[5] = report;
}

void DeliverDiscoveryRequest(TSnmpMgr& self, int count, intptr_t* p, int* l) {
  if (!self.OnDiscoveryRequest || count < 8) return;
  bool respond = p[7] != 0;
  self.OnDiscoveryRequest(self, BytesParam(p[0], l[0]), IntParam(p[1]), IntParam(p[2]),
                          TextParam(p[3]), IntParam(p[4]), TextParam(p[5]), IntParam(p[6]),
                          respond);
  p[7] = respond;
}

void DeliverDiscoveryResponse(TSnmpMgr& self, int count, intptr_t* p, int* l) {
  if (!self.OnDiscoveryResponse || count < 7) return;
  self.OnDiscoveryResponse(self, BytesParam(p[0], l[0]), IntParam(p[1]), IntParam(p[2]),
                           TextParam(p[3]), IntParam(p[4]), TextParam(p[5]), IntParam(p[6]));
}

void DeliverError(TSnmpMgr& self, int count, intptr_t* p, int*) {
  if (self.OnError && count >= 2) self.OnError(self, IntParam(p[0]), TextParam(p[1]));
}

void DeliverInformRequest(TSnmpMgr& self, int count, intptr_t* p, int*) {
  if (!self.OnInformRequest || count < 10) return;
  int errorIndex = IntParam(p[7]);
  int errorStatus = IntParam(p[8]);
  self.OnInformRequest(self, IntParam(p[0]), IntParam(p[1]), TextParam(p[2]), TextParam(p[3]),
                       IntParam(p[4]), TextParam(p[5]), IntParam(p[6]), errorIndex, errorStatus,
                       TextParam(p[9]));
  p[7] = errorIndex;
  p[8] = errorStatus;
}

void DeliverPacketTrace(TSnmpMgr& self, int count, intptr_t* p, int* l) {
  if (!self.OnPacketTrace || count < 4) return;
  self.OnPacketTrace(self, BytesParam(p[0], l[0]), IntParam(p[1]), TextParam(p[2]), IntParam(p[3]));
}

// A Response and a Report carry the same parameters.
void DeliverResponseLike(const TResponseHandler& handler, TSnmpMgr& self, int count, intptr_t* p) {
  if (!handler || count < 10) return;
  handler(self, IntParam(p[0]), IntParam(p[1]), TextParam(p[2]), TextParam(p[3]), IntParam(p[4]),
          TextParam(p[5]), IntParam(p[6]), IntParam(p[7]), IntParam(p[8]), TextParam(p[9]));
}

void DeliverReport(TSnmpMgr& self, int count, intptr_t* p, int*) {
  DeliverResponseLike(self.OnReport, self, count, p);
}

void DeliverResponse(TSnmpMgr& self, int count, intptr_t* p, int*) {
  DeliverResponseLike(self.OnResponse, self, count, p);
}

void DeliverTrap(TSnmpMgr& self, int count, intptr_t* p, int*) {
  if (!self.OnTrap || count < 9) return;
  self.OnTrap(self, IntParam(p[0]), IntParam(p[1]), TextParam(p[2]), TextParam(p[3]),
              IntParam(p[4]), TextParam(p[5]), static_cast<uint32_t>(p[6]), TextParam(p[7]),
              IntParam(p[8]));
}

constexpr std::pair<int, void (*)(TSnmpMgr&, int, intptr_t*, int*)> kDeliveries[] = {
    {kEventBadPacket, DeliverBadPacket},
    {kEventDiscoveryRequest, DeliverDiscoveryRequest},
    {kEventDiscoveryResponse, DeliverDiscoveryResponse},
    {kEventError, DeliverError},
    {kEventInformRequest, DeliverInformRequest},
    {kEventPacketTrace, DeliverPacketTrace},
    {kEventReport, DeliverReport},
    {kEventResponse, DeliverResponse},
    {kEventTrap, DeliverTrap},
};

}  // namespace

int TSnmpMgr::Dispatch(void* userData, int eventId, int paramCount, intptr_t* p, int* l) {
  TSnmpMgr& self = *static_cast<TSnmpMgr*>(userData);
  for (const auto& [event, deliver] : kDeliveries)
    if (event == eventId) deliver(self, paramCount, p, l);
  return 0;
}

}  // namespace kestrava

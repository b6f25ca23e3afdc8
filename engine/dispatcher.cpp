#include "engine/dispatcher.h"

#include <exception>
#include <string_view>

#include "shared/item_list.h"
#include "snmp/awaited_answer.h"
#include "snmp/codec.h"
#include "snmp/errors.h"
#include "snmp/snmpmgr.h"
#include "snmp/transport.h"

namespace kestrava {

namespace {
// 334 answers of 15 counters each take about 700 KB of socket buffer on Linux.
constexpr int kReceiveBuffer = 4 * 1024 * 1024;
}  // namespace

bool RefusesSecurity(int code) {
  return code == kErrDecryption || code == kErrReportUnsupportedSecLevel ||
         code == kErrReportUnknownUserName || code == kErrReportWrongDigest ||
         code == kErrReportDecryptionError;
}

std::string ErrorCodeText(const std::string& description, int errorCode) {
  return description + " ErrorCode=" + std::to_string(errorCode);
}

std::string ResponseErrorText(const std::string& description, int errorIndex, int errorStatus) {
  return description + " Index=" + std::to_string(errorIndex) +
         " Status=" + std::to_string(errorStatus);
}

std::string TakeBatch(std::string_view& list) {
  std::string batch;
  std::string_view item;
  for (int taken = 0; taken < kBatchSize && NextItemView(list, item); ++taken)
    AppendItem(batch, item);
  return batch;
}

uint32_t FollowingRequestId(uint32_t counter) {
  const uint32_t next = counter + 1;
  return next > kMaxRequestId ? 0 : next;
}

TDispatcher::TDispatcher(TDispatcherEvents events) : m_events(std::move(events)) {
  m_resolve = [](const std::string& host) {
    std::vector<std::string> texts;
    for (const TNetAddress& address : ResolveHostAddresses(host))
      texts.push_back(AddressText(address));
    return texts;
  };
}

TDispatcher::~TDispatcher() = default;

std::string TDispatcher::Open() {
  m_component = std::make_unique<TSnmpMgr>();
  m_component->OnResponse = [this](TSnmpMgr&, int requestId, int version,
                                   const std::string& community, const std::string&, int,
                                   const std::string& sourceAddress, int sourcePort, int errorIndex,
                                   int errorStatus, const std::string& errorDescription) {
    OnResponse(requestId, version, community, sourceAddress, sourcePort, errorIndex, errorStatus,
               errorDescription);
  };
  m_component->OnError = [this](TSnmpMgr&, int errorCode, const std::string& description) {
    m_refusal = ErrorCodeText(description, errorCode);
    if (m_events.Problem) m_events.Problem(m_refusal, errorCode);
  };
  m_component->OnBadPacket = [this](TSnmpMgr&, const std::string&, const std::string&, int,
                                    int errorCode, const std::string& errorDescription, bool&) {
    m_refusal = ErrorCodeText(errorDescription, errorCode);
    if (m_events.Problem) m_events.Problem(m_refusal, errorCode);
  };
  try {
    m_component->SetActive(false);
    m_component->Config("ForceLocalPort=false");
    // Room for every answer of a large poll, which arrive in one burst.
    m_component->Config("InBufferSize=" + std::to_string(kReceiveBuffer));
    m_component->SetLocalPort(m_localPort);
    m_component->SetActive(true);
  } catch (const std::exception& error) {
    return error.what();
  }
  return std::string();
}

void TDispatcher::SetLocalPort(int port) {
  if (port == m_localPort) return;
  m_localPort = port;
  if (!m_component) return;
  TSnmpMgr& mgr = *m_component;
  const bool active = mgr.Active();
  try {
    mgr.SetActive(false);
    mgr.SetLocalPort(port);
    if (active) mgr.SetActive(true);
  } catch (const std::exception& error) {
    if (m_events.Problem) m_events.Problem(error.what(), 0);
  }
}

void TDispatcher::SetSecurity(const TSnmpV3Settings& settings) {
  m_security = settings;
  m_connected = false;
}

void TDispatcher::Connect(const TRequest& record) {
  TSnmpMgr& mgr = *m_component;
  // While the component is closed, this fixes its local address before it opens again.
  if (!mgr.Active()) mgr.SetLocalHost(mgr.LocalHost());
  if (m_connected && record.Host == m_host && record.Community == m_community &&
      record.SnmpVersion == m_version && record.RemotePort == m_port)
    return;
  m_connected = false;
  if (record.Host != m_host || m_addresses.empty()) {
    m_addresses = m_resolve ? m_resolve(record.Host) : std::vector<std::string>();
    m_current = 0;
    m_answered = false;
    m_sentHere.clear();
  }
  // A name of several addresses goes to the one being tried; anything else to the component,
  // which says why a host cannot be used.
  mgr.SetRemoteHost(m_addresses.size() > 1 ? m_addresses[m_current] : record.Host);
  mgr.SetCommunity(record.Community);
  // Any other version leaves the component's version as it was.
  if (record.SnmpVersion >= 1 && record.SnmpVersion <= 3) mgr.SetSNMPVersion(record.SnmpVersion);
  mgr.SetRemotePort(record.RemotePort);
  mgr.SetTimeout(0);
  if (record.SnmpVersion == 3) {
    // The component learns the agent's engine and clock by itself before the first request.
    const TSnmpV3Settings& v3 = m_security;
    mgr.SetUser(v3.User);
    const std::pair<const char*, const std::string*> settings[] = {
        {"SecurityLevel", &v3.SecurityLevel}, {"AuthType", &v3.AuthProtocol},
        {"AuthPassword", &v3.AuthPassword},   {"PrivType", &v3.PrivProtocol},
        {"PrivPassword", &v3.PrivPassword},   {"ContextName", &v3.ContextName}};
    for (const auto& [name, value] : settings) {
      if (!value->empty() || std::string_view(name) == "ContextName")
        mgr.Config(std::string(name) + "=" + *value);
    }
  }
  m_remoteAddress = mgr.RemoteHost();
  m_host = record.Host;
  m_community = record.Community;
  m_version = record.SnmpVersion;
  m_port = record.RemotePort;
  m_connected = true;
}

TSendFailure TDispatcher::Send(TRequest& record, bool resend) {
  if (!m_component) return TSendFailure();
  Connect(record);
  if (!resend) {
    m_requestCounter = FollowingRequestId(m_requestCounter);
    record.RequestId = m_requestCounter;
  } else if (m_sentHere.count(record.RequestId) != 0) {
    // Sent to this address and never answered: the next address of the name is tried.
    MoveOn();
  }
  TSendFailure failure = SendOnce(record);
  // An address that cannot be sent to (a family the host does not have) gives way at once.
  for (size_t tried = 1;
       failure.Failed() && !failure.Permanent && CanMoveOn() && tried < m_addresses.size();
       ++tried) {
    MoveOn();
    failure = SendOnce(record);
  }
  if (!m_answered && m_addresses.size() > 1) m_sentHere.insert(record.RequestId);
  return failure;
}

bool TDispatcher::CanMoveOn() const {
  return !m_answered && m_addresses.size() > 1;
}

void TDispatcher::MoveOn() {
  if (!CanMoveOn()) return;
  m_current = (m_current + 1) % m_addresses.size();
  m_sentHere.clear();
  m_component->SetRemoteHost(m_addresses[m_current]);
  m_remoteAddress = m_component->RemoteHost();
}

TSendFailure TDispatcher::SendOnce(TRequest& record) {
  TSnmpMgr& mgr = *m_component;
  // A resend carries the stored record's id, so that its answer is found.
  mgr.SetRequestId(static_cast<int>(record.RequestId));
  mgr.SetObjCount(CountItems(record.OidList));
  std::string_view list = record.OidList;
  std::string_view oid;
  std::string text;
  for (int i = 1; NextItemView(list, oid); ++i) {
    text.assign(oid);
    mgr.SetObjId(i, text);
  }
  try {
    if (record.Operation == kOperationGetBulk) {
      mgr.SendGetBulkRequest(0, record.MaxRepetitions);
    } else if (record.Operation == kOperationGetNext) {
      mgr.SendGetNextRequest();
    } else if (record.Operation == kOperationGet) {
      mgr.SendGetRequest();
    }
  } catch (const ESnmpMgr& error) {
    // The codec's codes: the message cannot be built, now or ever.
    const bool permanent = error.Code == kErrBadElement || error.Code == kErrMissingElement ||
                           error.Code == kErrTooManyObjects || error.Code == kErrBadAction;
    return TSendFailure{error.what(), permanent};
  } catch (const std::exception& error) {
    return TSendFailure{error.what(), false};
  }
  return TSendFailure();
}

std::string TDispatcher::TimeoutText(const std::string& text) const {
  return m_refusal.empty() ? text : text + " (" + m_refusal + ")";
}

void TDispatcher::OnResponse(int requestId, int version, const std::string& community,
                             const std::string& sourceAddress, int sourcePort, int errorIndex,
                             int errorStatus, const std::string& errorDescription) {
  // Only the agent asked answers, and with the community it was asked with (SNMPv3 answers are
  // bound to the engine and user by the component).
  if (const char* mismatch = SourceMismatch({m_remoteAddress, m_port, m_community},
                                            {sourceAddress, sourcePort, community}, version)) {
    ++m_dropped;
    m_refusal = ErrorCodeText(mismatch, kErrMismatch);
    return;
  }
  m_refusal.clear();
  // The address that answered is the agent's from now on.
  m_answered = true;
  m_sentHere.clear();
  TAnswer& answer = m_answer;
  answer.RequestId = requestId;
  answer.ErrorIndex = errorIndex;
  answer.ErrorStatus = errorStatus;
  answer.ErrorDescription = errorDescription;
  answer.ObjectError.clear();
  try {
    const int n = m_component->ObjCount();
    answer.Objects.resize(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i) {
      TAnswerObject& object = answer.Objects[static_cast<size_t>(i - 1)];
      m_component->ReadObject(i, object.Oid, object.Value);
    }
    if (n == 0) m_component->ObjId(0);  // an answer without objects: the component says why
  } catch (const std::exception& error) {
    answer.Objects.clear();
    answer.ObjectError = error.what();
  }
  // Nothing escapes into the component's receive path.
  try {
    if (m_events.Answer) m_events.Answer(answer);
  } catch (const std::exception& error) {
    if (m_events.Problem) m_events.Problem(error.what(), 0);
  }
}

}  // namespace kestrava

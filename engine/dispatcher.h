#pragma once
// TDispatcher: the session's SNMP component and everything that talks to it. It turns a request
// record into a get or get-next request (asynchronous: the send returns once the datagram is
// out), numbers first sends, and hands every answer, component error and bad packet to the
// session as it arrives.
// One thread owns the component: the window's thread creates it, sends every request (the worker
// hands its poll runs and resends over) and receives every answer through its event loop, so the
// component needs no lock and an answer is handled where it arrives.
// Thread: the window's thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/config_rec.h"
#include "shared/session_types.h"
#include "snmp/snmp_value.h"

namespace kestrava {

class TSnmpMgr;

// One binding of an answer: its OID and its value, typed as the codec decoded it (the BER tag
// in Value.Tag; Value.Text() where text is wanted, as for a label).
struct TAnswerObject {
  std::string Oid;
  TSnmpValue Value;
};

// One answer as the component delivered it.
struct TAnswer {
  int RequestId = 0;
  int ErrorStatus = 0;
  int ErrorIndex = 0;
  std::string ErrorDescription;
  std::vector<TAnswerObject> Objects;
  std::string ObjectError;  // why an answer without objects has none (the component's text)
};

struct TDispatcherEvents {
  std::function<void(const TAnswer&)> Answer;
  // A problem of the receive path, as the status line shows it, and its code.
  std::function<void(const std::string&, int code)> Problem;
};

// Why a send did not go out: nothing ("" and false), a failure that may pass (a socket error),
// or a request that can never be built (too long a community, an OID that cannot be encoded).
struct TSendFailure {
  std::string Text;
  bool Permanent = false;
  bool Failed() const { return !Text.empty(); }
};

// Whether a component problem says that the agent refuses this manager's SNMPv3 security (an
// unknown user, a wrong password, a level or protocol it does not take): no request can pass.
bool RefusesSecurity(int code);

// The status-line texts of a component problem and of an answer with an error status.
std::string ErrorCodeText(const std::string& description, int errorCode);
std::string ResponseErrorText(const std::string& description, int errorIndex, int errorStatus);

// Request ids run 1 .. 1000000, then 0, 1, ...
inline constexpr uint32_t kMaxRequestId = 1000000;
uint32_t FollowingRequestId(uint32_t counter);
// Most OIDs one request carries.
inline constexpr int kBatchSize = 15;
// Removes up to kBatchSize items from the front of an item list and returns them as an item list.
std::string TakeBatch(std::string_view& list);

class TDispatcher {
 public:
  explicit TDispatcher(TDispatcherEvents events);
  ~TDispatcher();
  TDispatcher(const TDispatcher&) = delete;
  TDispatcher& operator=(const TDispatcher&) = delete;

  // Creates and opens the component on a free port of the agent's address family, as net-snmp's
  // tools do: a fixed port (162 above all) would be open on every interface, and a trap receiver
  // started later could not have it. "" or the component's error message.
  std::string Open();
  // The local port asked for (0: any free port); the component opens again on it when it
  // changes. A port that is taken gives way to a free one.
  void SetLocalPort(int port);
  void SetRequestCounter(uint32_t counter) { m_requestCounter = counter; }
  // The SNMPv3 user and its security, given to the component with the next send (SNMPv3).
  void SetSecurity(const TSnmpV3Settings& settings);

  // Sends a first send (a new request id, written into record) or a resend (record keeps its
  // id). Setting up the connection may raise the component's error (a host that cannot be
  // resolved); a refused send returns the component's message.
  TSendFailure Send(TRequest& record, bool resend);

  // Answers dropped because they came from elsewhere than the agent the requests went to, or
  // carried another community: a blind sender cannot feed the pie.
  int Dropped() const { return m_dropped; }
  // A time-out's status text: `text`, followed by why the component or the dispatcher refused
  // an answer since the last one taken (a signature, a clock, another engine id or community),
  // which is what a plain time-out would hide.
  std::string TimeoutText(const std::string& text) const;

  // The addresses of a host name as numeric text, in the resolver's order (the system's
  // resolver unless a test gives its own). A name of several addresses, as "localhost" with
  // ::1 and 127.0.0.1, is tried address after address until one answers: a request that is
  // sent again with no answer ever from the address it went to moves on to the next one, and
  // the address that answered is kept.
  using TResolver = std::function<std::vector<std::string>(const std::string& host)>;
  void SetResolver(TResolver resolver) { m_resolve = std::move(resolver); }

  // The component, for tests that look at its settings.
  TSnmpMgr* Component() { return m_component.get(); }

 private:
  // The component's connection follows the record's; set only when it changes.
  void Connect(const TRequest& record);
  TSendFailure SendOnce(TRequest& record);
  bool CanMoveOn() const;
  void MoveOn();
  void OnResponse(int requestId, int version, const std::string& community,
                  const std::string& sourceAddress, int sourcePort, int errorIndex, int errorStatus,
                  const std::string& errorDescription);

  TDispatcherEvents m_events;
  std::unique_ptr<TSnmpMgr> m_component;
  uint32_t m_requestCounter = 0;
  bool m_connected = false;
  std::string m_host, m_community;
  int32_t m_version = 0, m_port = 0;
  int m_localPort = 0;
  std::string m_remoteAddress;  // the agent's address as the component writes a source
  TSnmpV3Settings m_security;
  int m_dropped = 0;
  std::string m_refusal;
  TResolver m_resolve;
  std::vector<std::string> m_addresses;  // of the host name; one or none: the name itself
  size_t m_current = 0;
  bool m_answered = false;        // an answer came from the current address
  std::set<uint32_t> m_sentHere;  // requests first sent to it while none was answered  // the last
                                  // refusal since an answer was taken; empty: none
  TAnswer m_answer;               // reused: its buffers keep their room from answer to answer
};

}  // namespace kestrava

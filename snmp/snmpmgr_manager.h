#pragma once
// TSnmpManager: the state of one SNMP manager behind the numbered interface of
// snmp/snmpmgr_core.h, shared by the files that implement it (calls and lifecycle, properties
// and settings, the socket, sending, the receive path). Private to the component.
// Thread: see snmp/snmpmgr_core.h; the manager holds no lock.

#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "shared/number_text.h"
#include "snmp/awaited_answer.h"
#include "snmp/codec.h"
#include "snmp/snmpmgr_core.h"
#include "snmp/transport.h"
#include "snmp/usm.h"
#include "snmp/usm_key_cache.h"
#include "snmp/usm_peer.h"
#include "snmp/v3_requests.h"

namespace kestrava {

// The SNMPv3 security a request goes out with: the Config settings, or the component's own
// Password and AuthProtocol properties when Password is set. The passwords stay where they are.
struct TV3Security {
  int Level = 1;  // kNoAuthNoPriv, kAuthNoPriv, kAuthPriv
  int Auth = 0;
  const std::string* AuthPassword = nullptr;
  int Priv = 0;
  const std::string* PrivPassword = nullptr;
};

// A value handed to Set: a number, or text of Length octets (-1: up to its NUL; null: empty).
struct TPropertyValue {
  intptr_t Raw = 0;
  int Length = 0;
  int32_t Number() const { return static_cast<int32_t>(Raw); }
  std::string_view Bytes() const;  // the caller's own octets, not copied
  std::string Text() const { return std::string(Bytes()); }
};

// Milliseconds of the steady clock: the manager's clock unless a test gives its own.
inline int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A request PDU, which the manager role does not take.
inline bool IsRequestPdu(uint8_t type) {
  return type == kPduGetRequest || type == kPduGetNextRequest || type == kPduSetRequest ||
         type == kPduGetBulkRequest;
}

// Decimal text as the component reads it (shared/number_text.h), as a signed 32-bit value.
inline int32_t ParseInt(std::string_view text) {
  return static_cast<int32_t>(LeadingDecimal32(text));
}

// The component's Config settings of the socket, the timing and traps (the SNMPv3 ones are kept
// with the security).
struct TMgrSettings {
  bool forceLocalPort = true;
  bool ignorePortMismatch = false;
  bool answerInforms = false;  // the listener role: informs are answered, not dropped
  int timeWindow = 150;
  int trapPort = 162;
  std::string trapAgentAddress;
  std::string trapEnterprise;
  int maxPacketSize = 8192;
  bool absoluteTimeout = false;
  bool timeoutInMilliseconds = false;
  int codePage = 0;
  int charsetMode = 0;
};

// The SNMPv3 settings of Config, as the user gave them.
struct TV3Config {
  int securityLevel = kNoAuthNoPriv;
  int authType = kAuthMd5;
  std::string authPassword;
  int privType = kPrivDes;
  std::string privPassword;
  std::string contextName;
};

// Where the agent is, or where requests go out from.
struct TEndpoint {
  TNetAddress addr;  // none: no agent yet, or any local address
  int port = 0;
};

// The notifier that tells the owner thread of readable datagrams, following the socket.
struct TReadNotifier {
  QSocketNotifier* notifier = nullptr;
  int fd = -1;                  // the descriptor the notifier watches
  std::atomic<int> openFd{-1};  // the socket's, read by the owner thread when it syncs
};

// A blocking call: the action under way, and the answer it waits for until its deadline.
struct TBlockingCall {
  std::atomic<int> action{0};
  std::atomic<bool> waiting{false};
  std::atomic<bool> answered{false};
  std::atomic<int64_t> deadline{0};
  int error = 0;  // what the processing of the awaited response recorded
  std::string errorText;
};

// An engine discovery of the asynchronous mode: its message, remembered so that its report is
// adopted, and its second step, the clock asked with the user's key.
struct TEngineProbe {
  bool running = false;
  bool clockStep = false;
  int clockTries = 0;
  int32_t msgId = 0;
  int64_t sentAtMs = 0;
};

// What an agent's report asked of a blocking send: its code (0 none), and a discovery first.
struct TResendAsk {
  int code = 0;
  bool rediscover = false;
};

// The record and table that SNMPv3 requests are built again from.
struct TV3Record {
  TSnmpMessage message;
  TObjectTable objects;
};

// The component's own User, Password and AuthProtocol properties: the user every SNMPv3
// request names, and the older way to give it a password.
struct TOwnSecurity {
  std::string user;
  std::string password;
  int authProtocol = kAuthMd5;
};

// The last error of a call, and the texts handed out by Get and Do, which live until the next.
struct TLastError {
  int code = 0;
  std::string text;
};
struct THandedOut {
  std::string get;
  std::string done;
};

struct TSnmpManager {
  TSnmpManager(TSnmpMgrCallback cb, void* data);
  ~TSnmpManager();
  TSnmpManager(const TSnmpManager&) = delete;
  TSnmpManager& operator=(const TSnmpManager&) = delete;

  // Calls and their results.
  intptr_t Get(int property, int index, int* length);
  int Set(int property, int index, intptr_t value, int length);
  int Do(int method, int argc, intptr_t* argv, int* argl);
  int Fail(int code, const std::string& text) {
    errorText = text;
    return code;
  }
  // The properties (snmpmgr_properties.cpp): text handed out by Get, the reads that take more
  // than a field, and the writes by group. The groups return -1 for a property not theirs.
  intptr_t HandOut(std::string text, int* length);
  std::string LocalHostText() const;
  int LocalPortNow() const;
  intptr_t GetObject(int property, int index, int* length);
  int SetLocal(int property, const TPropertyValue& value);
  int SetRemote(int property, const TPropertyValue& value);
  int SetObject(int property, int index, const TPropertyValue& value);
  int SetRequest(int property, const TPropertyValue& value);
  int SetV3(int property, const TPropertyValue& value);
  void ApplyReceiveEnabled();

  // Socket side.
  int Open();
  int OpenWithRetry();
  void Close();
  void CloseNow();
  // The socket in the family of the agent: opened, or opened again when the family changed.
  int OpenForRemote();
  int SendBytes(const uint8_t* data, size_t size);
  void MoveDeadline() {
    if (!settings.absoluteTimeout) blockingCall.deadline = now() + timeoutMs;
  }
  bool OnOwnerThread() const { return QThread::currentThread() == owner; }
  template <typename Fn>
  void RunInOwner(Fn fn) {
    if (OnOwnerThread())
      fn();
    else
      QMetaObject::invokeMethod(notify, fn, Qt::QueuedConnection);
  }
  void SyncNotifier();
  void OnReadable();
  void ReceiveLoop();
  // The receive path, one job each: the datagram is parsed, matched to the answer a blocking
  // send waits for, refused when it is a request, checked for SNMPv3, and delivered by kind.
  void ProcessDatagram(const uint8_t* data, size_t size, const TNetAddress& addr, uint16_t port);
  const char* AwaitedMismatch(const std::string& source, uint16_t port) const;
  bool FromAgent(const TNetAddress& addr, uint16_t port) const {
    return addr == remote.addr && (port == remote.port || settings.ignorePortMismatch);
  }
  void Deliver(const TNetAddress& addr, uint16_t port, const std::string& source);
  void DeliverTrap(const std::string& source, uint16_t port);
  void AnswerInform(const TNetAddress& addr, uint16_t port, const std::string& source);
  int WaitForResponse();
  // Fires an answer's events; a blocking send that awaited it counts as answered first and
  // returns only once they have run.
  template <typename Fn>
  void Answered(bool awaited, Fn fire) {
    if (awaited) {
      blockingCall.error = 0;
      blockingCall.answered = true;
    }
    fire();
    if (awaited) blockingCall.waiting = false;
  }

  // Sending.
  int Send(int action);
  int SendPlain(int action);
  int Discover();
  int CurrentCredentials(int action, TUsmCredentials& creds);
  void FillCredentials(const std::string& userName, TUsmCredentials& creds);
  int SendPacket();
  int32_t EstimatedEngineTime() const;
  void LearnClock(const TSnmpMessage& msg);
  void ForgetRemoteEngine();
  void ResetAction();

  // The SNMPv3 exchange (snmpmgr_security.cpp): the security of a request and its keys,
  // engine and clock discovery, requests kept for a second send, and the agent's reports.
  // 0, or 314 / 317 with the text in *text.
  int Security(TV3Security& security, const char** text) const;
  bool PrepareKeys(const TV3Security& security);
  bool NeedsDiscovery(const TV3Security& security) const;
  int SendV3Request(int action);
  TV3Request Snapshot(int action);
  int BuildAndSendV3(TV3Request& request, const TV3Security& security);
  int SendProbe(bool blocking);
  int SendDiscoveryMessage(int action, const TUsmCredentials& creds);
  int SendClockProbe();
  void ProbeRefused(int code);
  bool NeedsClock() const;
  int DiscoverEngine();
  void Rediscover(TV3Request& request, int reportCode);
  void FlushPending();
  void SendAgain(TV3Request& request, int reportCode);
  void ProcessV3(const uint8_t* data, size_t size, const TNetAddress& addr, uint16_t port,
                 const std::string& source, bool awaited);
  void KeysForReceived();
  bool Authentic(const uint8_t* data, size_t size, bool awaited);
  bool DecryptReceived(const uint8_t* data, size_t size, const std::string& source, int port,
                       bool awaited);
  bool RefuseV3(int code, const char* text, bool awaited);
  bool FailAuthentication(int code, const char* text, bool awaited);
  void HandleReport(const std::string& source, int port, bool awaited, bool sameEngine);
  void AdoptReport(const std::string& source, int port, bool sameEngine, bool authentic);
  void ProbeAnswered();
  bool FollowClock(const TSnmpMessage& msg);
  bool InTimeWindow(const TSnmpMessage& msg) const;
  void FireDiscoveryResponse(const std::string& source, int port);
  void EndAwaited(int code, const std::string& text);

  // Configuration.
  int Config(const std::string& setting, std::string& result);

  // Events.
  void FireError(int code, const std::string& text);
  void FireBadPacket(const uint8_t* data, size_t size, const std::string& addr, int port, int code,
                     const char* text);
  void FirePacketTrace(const uint8_t* data, size_t size, int direction, const std::string& addr,
                       int port);
  void FireResponseLike(int event, const std::string& addr, int port);
  int Fire(int event, int count, intptr_t* params, int* lengths) {
    if (!callback) return 0;
    return callback(userData, event, count, params, lengths);
  }

  TSnmpMgrCallback callback;
  void* userData;
  // Milliseconds on a steady clock: time-outs, the agent's clock between its messages, how long
  // requests are kept. Injected, so that tests can drive it.
  std::function<int64_t()> now = SteadyMs;
  QThread* owner;
  QObject* notify;
  TReadNotifier reader;

  TUdpSocket socket;
  TSocketOptions options;
  TEndpoint local{TNetAddress(), 162};
  TEndpoint remote{TNetAddress(), 161};
  std::atomic<int> timeoutMs{60000};
  bool receiveEnabled = true;
  bool reading = false;
  bool closeRequested = false;
  TBlockingCall blockingCall;

  TMgrSettings settings;  // the Config settings of the socket, timing and traps

  // Messages and objects.
  TSnmpMessage out;
  TSnmpMessage in;
  TObjectTable objects;
  TByteBuffer packet;
  std::vector<uint8_t> receiveBuffer;
  TAwaitedAnswer awaited;  // the request sent last, which a blocking send waits for

  // SNMPv3.
  TOwnSecurity ownSecurity;
  std::string localEngineId;
  TUsmPeer peer;             // the agent's engine id and clock
  bool discovering = false;  // a blocking engine or clock discovery waits for its report
  TV3Config v3Config;        // the SNMPv3 settings of Config; Reset keeps them
  TUsmKeyCache keyCache;     // the localised keys, made again only when their recipe changes
  TUsmCredentials v3Creds;   // a request's credentials, their texts' room kept for the next
  TByteBuffer plainPdu;      // a decrypted scoped PDU
  uint64_t saltCounter = 0;  // privacy salts: starts at a random value, never repeats
  // Asynchronous requests: those waiting for discovery, and those sent (for a second send).
  TV3Requests v3Requests;
  TEngineProbe engineProbe;
  TResendAsk resendAsk;
  TV3Record v3Record;
  std::mt19937_64 rng;  // seeded from the system's entropy
  // Datagrams refused as not matching the awaited request, and informs nobody listens for.
  uint64_t droppedPackets = 0;

  TLastError lastError;
  std::string errorText;  // text recorded by the running call
  THandedOut handedOut;
};

}  // namespace kestrava

// Sending: building one message from the outgoing record and the object table, SNMPv3
// credentials and clock, engine discovery, and the blocking wait of a send with a time-out.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <new>
#include <thread>

#include "snmp/errors.h"
#include "snmp/snmpmgr_manager.h"

namespace kestrava {

namespace {
constexpr int kWaitSliceMs = 50;
}  // namespace

void TSnmpManager::ResetAction() {
  objects.SetCount(0);
  blockingCall.waiting = false;
  blockingCall.action = 0;
  out.Reset(settings.maxPacketSize);
  ownSecurity.password.clear();
  ownSecurity.authProtocol = kAuthMd5;
}

int32_t TSnmpManager::EstimatedEngineTime() const {
  return peer.EstimatedTime(now());
}

void TSnmpManager::LearnClock(const TSnmpMessage& msg) {
  peer.LearnClock(msg.EngineBoots, msg.EngineTime, now());
}

void TSnmpManager::ForgetRemoteEngine() {
  peer.Forget();
  // What waits for this engine, or was sent to it, belongs to the agent that is left.
  v3Requests.Clear();
  engineProbe.running = false;
  engineProbe.clockStep = false;
}

// The user, the agent's engine and clock as far as they are known, the context, and a salt
// never given before.
void TSnmpManager::FillCredentials(const std::string& userName, TUsmCredentials& creds) {
  creds.User = userName;
  creds.EngineId = peer.EngineId;
  creds.ContextName = v3Config.contextName;
  creds.ClockKnown = peer.ClockKnown;
  if (peer.ClockKnown) {
    creds.EngineBoots = peer.Boots;
    creds.EngineTime = EstimatedEngineTime();
  }
  creds.Salt = ++saltCounter;
}

int TSnmpManager::CurrentCredentials(int action, TUsmCredentials& creds) {
  FillCredentials(action == kActionDiscoverEngineId ? std::string() : ownSecurity.user, creds);
  TV3Security security;
  const char* text = nullptr;
  if (action != kActionDiscoverEngineId && Security(security, &text) == 0 &&
      security.Level >= kAuthNoPriv) {
    if (!PrepareKeys(security)) return Fail(kErrBadElement, kTextBuildPacket);
    creds.Keys = &keyCache.Keys();
  }
  return 0;
}

int TSnmpManager::Send(int action) {
  errorText.clear();
  if (action < 0 || action > 11) return Fail(kErrBadAction, kTextBadAction);
  if (blockingCall.action != 0) return Fail(kErrBusy, kTextBusy);
  if (action == 4 || action == 5) return Fail(kErrRole, kTextRole);
  blockingCall.action = action;
  int code = OpenForRemote();
  if (code == 0) {
    const bool discovery = action == kActionDiscoverEngineId || action == kActionDiscoverClock;
    code = out.Version == kSnmpV3 && !discovery ? SendV3Request(action) : SendPlain(action);
  }
  blockingCall.action = 0;
  blockingCall.waiting = false;
  if (code != 0 && errorText.empty()) errorText = kTextBuildPacket;
  return code;
}

// A request built from the outgoing record as it stands: SNMPv1, SNMPv2c, and the SNMPv3
// discovery messages of Discover.
int TSnmpManager::SendPlain(int action) {
  const int32_t requestId = out.RequestId;
  TUsmCredentials creds;
  const bool v3 = out.Version == kSnmpV3;
  int code = 0;
  if (v3 && (code = CurrentCredentials(action, creds)) != 0) return code;
  out.MsgMaxSize = settings.maxPacketSize;
  const int32_t msgId = out.MsgId;
  try {
    code = BuildMessage(action, out, objects, packet, errorText, v3 ? &creds : nullptr);
  } catch (const std::bad_alloc&) {
    code = Fail(kErrOutOfMemory, kTextOutOfMemory);
  }
  if (code != 0) return code;
  awaited.RequestId = requestId;
  awaited.MsgId = msgId;
  awaited.Version = out.Version;
  awaited.Community = out.Community.str();
  awaited.User = v3 ? creds.User : std::string();
  if (v3 && action == kActionDiscoverEngineId) {
    // Its report is adopted even when it arrives after an asynchronous Discover returned.
    engineProbe.running = true;
    engineProbe.msgId = msgId;
    engineProbe.sentAtMs = now();
  }
  code = SendPacket();
  if (code == 0 && timeoutMs != 0) code = WaitForResponse();
  return code;
}

// The packet just built, traced and sent to the agent.
int TSnmpManager::SendPacket() {
  FirePacketTrace(packet.data(), packet.size(), 2, AddressText(remote.addr), remote.port);
  return SendBytes(packet.data(), packet.size());
}

int TSnmpManager::Discover() {
  errorText.clear();
  TV3Security security;
  const char* text = nullptr;
  const bool authenticated = Security(security, &text) == 0 && security.Level >= kAuthNoPriv;
  if (!authenticated || peer.EngineId.empty()) {
    if (authenticated && timeoutMs == 0)
      return Fail(kErrTimeoutNotPositive, kTextTimeoutNotPositive);
    discovering = true;
    objects.SetCount(0);
    const int code = Send(kActionDiscoverEngineId);
    discovering = false;
    if (code != 0 || !authenticated) return code;
  }
  // The agent's refusal of the clock step is unsigned and may be anybody's: it stands when the
  // step is refused twice.
  discovering = true;
  int code = 0;
  for (int tries = 1; tries <= 2; ++tries) {
    resendAsk.code = 0;
    code = Send(kActionDiscoverClock);
    if (code != 0 || resendAsk.code == 0) break;
    if (tries == 2) code = Fail(resendAsk.code, UsmReportText(resendAsk.code));
  }
  discovering = false;
  return code;
}

int TSnmpManager::WaitForResponse() {
  blockingCall.waiting = true;
  blockingCall.answered = false;
  blockingCall.error = 0;
  blockingCall.errorText.clear();
  blockingCall.deadline = now() + timeoutMs;
  auto timedOut = [this] {
    const int64_t d = blockingCall.deadline;
    return d != 0 && now() > d;
  };
  bool expired = false;
  if (OnOwnerThread() && QThread::currentThread()->eventDispatcher() != nullptr) {
    // The thread's own loop serves the socket (and every other event) while the send waits;
    // a timer wakes it to look at the deadline.
    QTimer tick;
    tick.start(kWaitSliceMs);
    while (blockingCall.waiting) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (blockingCall.waiting && timedOut()) {
        expired = true;
        break;
      }
    }
  } else {
    // Another thread's send: the owner's loop delivers the response; this thread only waits.
    while (blockingCall.waiting) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (blockingCall.waiting && timedOut()) {
        expired = true;
        break;
      }
    }
  }
  blockingCall.waiting = false;
  if (expired && !blockingCall.answered) return Fail(kErrTimeout, kTextTimeout);
  if (blockingCall.error != 0) return Fail(blockingCall.error, blockingCall.errorText);
  return 0;
}

}  // namespace kestrava

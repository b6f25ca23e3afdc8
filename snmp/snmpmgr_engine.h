#pragma once
// TSnmpMgrEngine: the state of one SNMP manager engine behind the numbered interface of
// snmp/snmpmgr_core.h, shared by the files that implement it (calls and lifecycle, properties
// and settings, the socket, sending, the receive path). Private to the component.
// Thread: see snmp/snmpmgr_core.h; the engine holds no lock.

#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "snmp/codec.h"
#include "snmp/snmpmgr_core.h"
#include "snmp/transport.h"
#include "snmp/usm.h"

namespace kestrava {

inline int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Decimal text as the component reads it: optional "-", digits up to the first other
// character; anything else reads as 0. Wraps to 32 bits.
int32_t ParseInt(const std::string& text);

struct TSnmpMgrEngine {
  TSnmpMgrEngine(TSnmpMgrCallback cb, void* data);
  ~TSnmpMgrEngine();
  TSnmpMgrEngine(const TSnmpMgrEngine&) = delete;
  TSnmpMgrEngine& operator=(const TSnmpMgrEngine&) = delete;

  // Calls and their results.
  intptr_t Get(int property, int index, int* length);
  int Set(int property, int index, intptr_t value, int length);
  int Do(int method, int argc, intptr_t* argv, int* argl);
  int Fail(int code, const std::string& text) {
    errorText = text;
    return code;
  }

  // Socket side.
  int Open();
  int OpenWithRetry();
  void Close();
  void CloseNow();
  int SendBytes(const uint8_t* data, size_t size);
  void MoveDeadline() {
    if (!absoluteTimeout) deadline = NowMs() + timeoutMs;
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
  void ProcessDatagram(const uint8_t* data, size_t size, uint32_t addr, uint16_t port);
  const char* AwaitedMismatch(uint32_t addr, uint16_t port) const;
  void Deliver(uint32_t addr, uint16_t port, const std::string& source);
  void DeliverTrap(const std::string& source, uint16_t port);
  void AnswerInform(uint32_t addr, uint16_t port, const std::string& source);
  int WaitForResponse();

  // Sending.
  int Send(int action);
  int Discover();
  int CurrentCredentials(int action, TUsmCredentials& creds);
  int32_t EstimatedEngineTime() const;
  void LearnClock(const TSnmpMessage& msg);
  void ForgetRemoteEngine() {
    remoteEngineId.clear();
    clockKnown = false;
    remoteBoots = 0;
    remoteTime = 0;
  }
  void ResetAction();

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
  // V3 checks of an incoming message; true when it may be dispatched.
  bool CheckV3(const uint8_t* data, size_t size, const std::string& addr, int port, bool awaited);

  TSnmpMgrCallback callback;
  void* userData;
  QThread* owner;
  QObject* notify;
  QSocketNotifier* notifier = nullptr;
  int notifierFd = -1;

  TUdpSocket socket;
  std::atomic<int> openFd{-1};  // read by the owner thread when it syncs its notifier
  TSocketOptions options;
  uint32_t localAddr = 0;
  int localPort = 162;
  uint32_t remoteAddr = 0;
  int remotePort = 161;
  std::atomic<int> timeoutMs{60000};
  bool receiveEnabled = true;
  bool reading = false;
  bool closeRequested = false;
  std::atomic<int> busyAction{0};
  std::atomic<bool> waiting{false};
  std::atomic<bool> gotAwaited{false};
  std::atomic<int64_t> deadline{0};
  int waitError = 0;  // what the processing of the awaited response recorded
  std::string waitErrorText;

  // Settings.
  bool forceLocalPort = true;
  bool ignorePortMismatch = false;
  int timeWindow = 150;
  int trapPort = 162;
  std::string trapAgentAddress;
  std::string trapEnterprise;
  int maxPacketSize = 8192;
  bool absoluteTimeout = false;
  bool timeoutInMilliseconds = false;
  int codePage = 0;
  int charsetMode = 0;

  // Messages and objects.
  TSnmpMessage out;
  TSnmpMessage in;
  TObjectTable objects;
  TByteBuffer packet;
  std::vector<uint8_t> receiveBuffer;
  int32_t sentRequestId = 0;
  int32_t sentMsgId = 0;
  int32_t sentVersion = 0;
  std::string sentUser;
  bool sentAuthenticated = false;

  // SNMPv3.
  std::string user;
  std::string password;
  int authProtocol = kAuthMd5;
  std::string localEngineId;
  std::string remoteEngineId;
  bool clockKnown = false;
  int32_t remoteBoots = 0;
  int32_t remoteTime = 0;
  int64_t remoteTimeAtMs = 0;
  bool discovering = false;
  std::string keyProtocolPassword;  // cache key of localizedKey
  std::string keyEngineId;
  int keyProtocol = 0;
  std::string localizedKey;

  int lastErrorCode = 0;
  std::string lastError;
  std::string errorText;  // text recorded by the running call
  std::string scratch;    // text handed out by Get
  std::string doResult;   // text handed out by Do
};

}  // namespace kestrava

#include "snmp/snmpmgr_core.h"

#include <sys/resource.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "snmp/codec.h"
#include "snmp/socket_errors.h"
#include "snmp/transport.h"
#include "snmp/usm.h"

namespace kestrava {

namespace {

constexpr int kMaxPacketLimit = 65536;
constexpr int kWaitSliceMs = 50;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool ParseBool(const std::string& value) {
  std::string lower;
  for (char c : value) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return lower == "true" || lower == "yes" || lower == "1";
}

// Decimal text as the component reads it: optional "-", digits up to the first other
// character; anything else reads as 0. Wraps to 32 bits.
int32_t ParseInt(const std::string& text) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && text[pos] == '-') {
    negative = true;
    ++pos;
  }
  uint32_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
    value = value * 10 + static_cast<uint32_t>(text[pos++] - '0');
  return static_cast<int32_t>(negative ? 0u - value : value);
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

const char* BoolText(bool value) {
  return value ? "True" : "False";
}

}  // namespace

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
  void ProcessDatagram(const uint8_t* data, size_t size, uint32_t addr, uint16_t port);
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

TSnmpMgrEngine::TSnmpMgrEngine(TSnmpMgrCallback cb, void* data)
    : callback(cb), userData(data), owner(QThread::currentThread()), notify(new QObject) {
  out.Version = kSnmpV2c;
  out.Community.assign("cobalt");
  out.Reset(maxPacketSize);
  in.Clear();
}

TSnmpMgrEngine::~TSnmpMgrEngine() {
  callback = nullptr;  // no event fires from here on
  receiveEnabled = false;
  Close();
  // Descriptors handed over for closing by other threads are closed now.
  QCoreApplication::sendPostedEvents(notify);
  delete notifier;
  delete notify;
}

// ---------------------------------------------------------------------------------------------
// Socket side

int TSnmpMgrEngine::Open() {
  errorText.clear();
  if (socket.IsOpen()) return Fail(kErrAlreadyActive, kTextAlreadyActive);
  reading = false;
  closeRequested = false;
  if (options.UseConnection && remotePort == 0)
    return Fail(kErrRemotePortZero, kTextRemotePortZero);
  const int code = socket.Open(localAddr, static_cast<uint16_t>(localPort), options, remoteAddr,
                               static_cast<uint16_t>(remotePort));
  if (code != 0) return code;
  try {
    receiveBuffer.resize(static_cast<size_t>(maxPacketSize));
  } catch (const std::bad_alloc&) {
    socket.Close();
    return Fail(kErrOutOfMemory, kTextOutOfMemory);
  }
  openFd = socket.Handle();
  RunInOwner([this] { SyncNotifier(); });
  return 0;
}

int TSnmpMgrEngine::OpenWithRetry() {
  int code = Open();
  if (code != 0 && code != kErrAlreadyActive && code != kErrRemotePortZero && !forceLocalPort) {
    localPort = 0;
    code = Open();
  }
  if (code != 0 && errorText.empty()) errorText = WinsockErrorText(code);
  return code;
}

void TSnmpMgrEngine::Close() {
  if (!socket.IsOpen()) return;
  if (reading) {
    closeRequested = true;
    return;
  }
  // Datagrams still queued are processed (their events fire) before the socket goes.
  if (receiveEnabled && OnOwnerThread() && callback) ReceiveLoop();
  CloseNow();
}

void TSnmpMgrEngine::CloseNow() {
  if (!socket.IsOpen()) return;
  const int fd = socket.Release();
  openFd = -1;
  // The notifier lives in the owner thread: it goes first, then the descriptor, so the
  // descriptor's number cannot be reused under a live notifier.
  RunInOwner([this, fd] {
    SyncNotifier();
    ::close(fd);
  });
}

int TSnmpMgrEngine::SendBytes(const uint8_t* data, size_t size) {
  if (!socket.IsOpen()) return Fail(kErrNotActive, kTextNotActive);
  const int code = socket.SendTo(data, size, remoteAddr, static_cast<uint16_t>(remotePort));
  if (code != 0) return Fail(code, WinsockErrorText(code));
  MoveDeadline();
  return 0;
}

void TSnmpMgrEngine::SyncNotifier() {
  const int fd = openFd;
  if (notifier && notifierFd != fd) {
    delete notifier;
    notifier = nullptr;
    notifierFd = -1;
  }
  if (!notifier && fd >= 0) {
    notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, notify);
    notifierFd = fd;
    QObject::connect(notifier, &QSocketNotifier::activated, notify, [this] { OnReadable(); });
  }
  if (notifier) notifier->setEnabled(receiveEnabled && !reading);
}

void TSnmpMgrEngine::OnReadable() {
  if (!receiveEnabled || reading) {
    // Readiness is level-triggered: park the notifier until the datagrams can be taken.
    if (notifier) notifier->setEnabled(false);
    return;
  }
  ReceiveLoop();
  SyncNotifier();
}

void TSnmpMgrEngine::ReceiveLoop() {
  reading = true;
  while (receiveEnabled) {
    if (closeRequested) break;
    if (!socket.IsOpen()) break;
    size_t size = 0;
    uint32_t addr = 0;
    uint16_t port = 0;
    int code = 0;
    const TReceiveResult r =
        socket.Receive(receiveBuffer.data(), receiveBuffer.size(), size, addr, port, code);
    if (r == TReceiveResult::WouldBlock) break;
    if (r == TReceiveResult::Error) {
      if (code == kWsaEconnreset)
        FireError(code, kTextUnreachable);
      else
        FireError(code, kTextRecvError);
      break;
    }
    if (size == 0) break;
    MoveDeadline();
    receiveEnabled = false;
    ProcessDatagram(receiveBuffer.data(), size, addr, port);
    receiveEnabled = true;
    // The awaited answer ends a blocking send at once; readiness is level-triggered, so any
    // datagram behind it is taken on the next notification.
    if (gotAwaited && !waiting) break;
  }
  reading = false;
  if (closeRequested) {
    closeRequested = false;
    CloseNow();
  }
}

void TSnmpMgrEngine::ProcessDatagram(const uint8_t* data, size_t size, uint32_t addr,
                                     uint16_t port) {
  const std::string source = DottedAddress(addr);
  in.Clear();
  objects.SetCount(0);
  FirePacketTrace(data, size, 1, source, port);
  const int parsed = ParseMessage(data, size, in, objects);
  if (parsed != 0) {
    FireError(parsed, kTextParseError);
    return;
  }
  bool awaited = false;
  if (waiting) {
    const char* mismatch = nullptr;
    if (addr != remoteAddr || (port != remotePort && !ignorePortMismatch)) {
      mismatch = kTextOriginUnknown;
    } else if (in.Version != sentVersion) {
      mismatch = kTextVersionMismatch;
    } else if (in.Version != kSnmpV3) {
      if (in.RequestId != sentRequestId) mismatch = kTextRequestIdMismatch;
    } else if (in.MsgId != sentMsgId) {
      mismatch = kTextV3MessageIdMismatch;
    } else if (!in.UserName.empty() && !sentUser.empty() && in.UserName.view() != sentUser) {
      mismatch = kTextV3UserMismatch;
    } else if (!in.AuthEngineId.empty() && !remoteEngineId.empty() &&
               in.AuthEngineId.view() != remoteEngineId) {
      mismatch = kTextV3EngineIdMismatch;
    }
    if (mismatch) {
      FireBadPacket(data, size, source, port, kErrMismatch, mismatch);
      return;
    }
    awaited = true;
  }
  if (in.PduType == kPduGetRequest || in.PduType == kPduGetNextRequest ||
      in.PduType == kPduSetRequest || in.PduType == kPduGetBulkRequest) {
    if (awaited) {
      waitError = 0;
      gotAwaited = true;
      waiting = false;
    }
    FireBadPacket(data, size, source, port, kErrRole, kTextRole);
    return;
  }
  if (in.Version == kSnmpV3 && !CheckV3(data, size, source, port, awaited)) {
    if (awaited) {
      gotAwaited = true;
      waiting = false;
    }
    return;
  }
  if (awaited) {
    waitError = 0;
    gotAwaited = true;
  }
  switch (in.PduType) {
    case kPduResponse:
      FireResponseLike(kEventResponse, source, port);
      break;
    case kPduReport:
      FireResponseLike(kEventReport, source, port);
      break;
    case kPduTrapV1:
    case kPduTrapV2: {
      std::string trapOid;
      uint32_t timeStamp = 0;
      if (in.Version == kSnmpV1) {
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
      break;
    }
    case kPduInformRequest: {
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
      if (in.ErrorStatus != -1) {
        std::string text;
        // The reply goes to the sender, which the component then keeps as its remote side.
        remoteAddr = addr;
        remotePort = port;
        int code = BuildMessage(kActionResponse, in, objects, packet, text);
        if (code != 0) {
          FireError(code, kTextBuildResponse);
          break;
        }
        FirePacketTrace(packet.data(), packet.size(), 2, source, port);
        code = socket.SendTo(packet.data(), packet.size(), addr, port);
        if (code != 0) FireError(code, kTextSendResponse);
      }
      break;
    }
    default:
      break;
  }
  if (awaited) waiting = false;
}

bool TSnmpMgrEngine::CheckV3(const uint8_t* data, size_t size, const std::string& addr, int port,
                             bool awaited) {
  const bool isReport = in.PduType == kPduReport;
  auto discoveryResponse = [&] {
    if (discovering) {
      if (remoteEngineId.empty() || remoteEngineId != in.AuthEngineId.view()) {
        remoteEngineId = in.AuthEngineId.str();
        clockKnown = false;
      }
      if (in.EngineBoots != 0 || in.EngineTime != 0) LearnClock(in);
    }
    const std::string engineId = in.AuthEngineId.str();
    const std::string userName = in.UserName.str();
    intptr_t p[7] = {reinterpret_cast<intptr_t>(engineId.data()),
                     in.EngineBoots,
                     in.EngineTime,
                     reinterpret_cast<intptr_t>(userName.c_str()),
                     in.SecurityLevel,
                     reinterpret_cast<intptr_t>(addr.c_str()),
                     port};
    int l[7] = {static_cast<int>(engineId.size())};
    Fire(kEventDiscoveryResponse, 7, p, l);
  };
  // An authentication failure ends the awaited send with its code instead of events.
  auto authFailure = [&](int code, const char* text) {
    if (awaited) {
      waitError = code;
      waitErrorText = text;
      return false;
    }
    FireError(code, text);
    FireError(kErrEngineIdIgnored, kTextMalformed);
    return false;
  };
  const bool signedIn = (in.MsgFlags & 1) != 0;
  if (signedIn) {
    if (password.empty())
      return authFailure(309,
                         "User authentication failed (incoming packet claims to be signed but "
                         "local user credentials do not provide an authentication password).");
    if (in.AuthParams.empty())
      return authFailure(310,
                         "User authentication failed (incoming packet claims to be signed but it "
                         "is missing the signature).");
    const std::string key = LocalizeKey(authProtocol, password, in.AuthEngineId.view());
    if (!VerifyMessage(authProtocol, key, data, size, in.AuthParamsOffset, in.AuthParams.size()))
      return authFailure(308,
                         "User authentication failed (signature of incoming packet could not be "
                         "verified with the local user credentials).");
  } else if (sentAuthenticated) {
    return authFailure(321,
                       "An authenticated message was expected, but the received message is "
                       "not signed.");
  }
  if (remoteEngineId.empty() || remoteEngineId != in.AuthEngineId.view()) {
    if (isReport) {
      discoveryResponse();
    } else {
      FireError(kErrEngineIdIgnored, kTextUnknownEngineId);
    }
    return false;
  }
  if (signedIn) {
    const bool inWindow = clockKnown && in.EngineBoots == remoteBoots &&
                          std::abs(int64_t{in.EngineTime} - EstimatedEngineTime()) <= timeWindow;
    if (!inWindow) {
      if (isReport) {
        discoveryResponse();
      } else {
        FireError(kErrEngineIdIgnored, kTextBadTiming);
      }
      return false;
    }
  }
  if (isReport && discovering) {
    discoveryResponse();
    return false;
  }
  return true;
}

int TSnmpMgrEngine::WaitForResponse() {
  waiting = true;
  gotAwaited = false;
  waitError = 0;
  waitErrorText.clear();
  deadline = NowMs() + timeoutMs;
  auto timedOut = [this] {
    const int64_t d = deadline;
    return d != 0 && NowMs() > d;
  };
  bool expired = false;
  if (OnOwnerThread() && QThread::currentThread()->eventDispatcher() != nullptr) {
    // The thread's own loop serves the socket (and every other event) while the send waits;
    // a timer wakes it to look at the deadline.
    QTimer tick;
    tick.start(kWaitSliceMs);
    while (waiting) {
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (waiting && timedOut()) {
        expired = true;
        break;
      }
    }
  } else {
    // Another thread's send: the owner's loop delivers the response; this thread only waits.
    while (waiting) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (waiting && timedOut()) {
        expired = true;
        break;
      }
    }
  }
  waiting = false;
  if (expired && !gotAwaited) return Fail(kErrTimeout, kTextTimeout);
  if (waitError != 0) return Fail(waitError, waitErrorText);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Sending

void TSnmpMgrEngine::ResetAction() {
  objects.SetCount(0);
  waiting = false;
  busyAction = 0;
  out.Reset(maxPacketSize);
  password.clear();
  authProtocol = kAuthMd5;
}

int32_t TSnmpMgrEngine::EstimatedEngineTime() const {
  return static_cast<int32_t>(remoteTime + (NowMs() - remoteTimeAtMs) / 1000);
}

void TSnmpMgrEngine::LearnClock(const TSnmpMessage& msg) {
  remoteBoots = msg.EngineBoots;
  remoteTime = msg.EngineTime;
  remoteTimeAtMs = NowMs();
  clockKnown = true;
}

int TSnmpMgrEngine::CurrentCredentials(int action, TUsmCredentials& creds) {
  creds.User = action == kActionDiscoverEngineId ? std::string() : user;
  creds.AuthProtocol = authProtocol;
  creds.EngineId = remoteEngineId;
  creds.ClockKnown = clockKnown;
  if (clockKnown) {
    creds.EngineBoots = remoteBoots;
    creds.EngineTime = EstimatedEngineTime();
  }
  if (!password.empty() && action != kActionDiscoverEngineId) {
    // Localising a key hashes a megabyte: keep the last one.
    if (keyProtocol != authProtocol || keyProtocolPassword != password ||
        keyEngineId != remoteEngineId) {
      localizedKey = LocalizeKey(authProtocol, password, remoteEngineId);
      keyProtocol = authProtocol;
      keyProtocolPassword = password;
      keyEngineId = remoteEngineId;
    }
    creds.AuthKey = localizedKey;
  }
  return 0;
}

int TSnmpMgrEngine::Send(int action) {
  errorText.clear();
  if (action < 0 || action > 11) return Fail(kErrBadAction, kTextBadAction);
  if (busyAction != 0) return Fail(kErrBusy, kTextBusy);
  if (action == 4 || action == 5) return Fail(kErrRole, kTextRole);
  busyAction = action;
  int code = 0;
  if (!socket.IsOpen()) code = OpenWithRetry();
  if (code == 0) {
    const int32_t requestId = out.RequestId;
    TUsmCredentials creds;
    const bool v3 = out.Version == kSnmpV3;
    if (v3) {
      CurrentCredentials(action, creds);
      if (!password.empty() && action != kActionDiscoverEngineId &&
          action != kActionDiscoverClock && !clockKnown)
        code = Fail(kErrClockUnknown, kTextClockUnknown);
    }
    if (code == 0) {
      out.MsgMaxSize = maxPacketSize;
      const int32_t msgId = out.MsgId;
      try {
        code = BuildMessage(action, out, objects, packet, errorText, v3 ? &creds : nullptr);
      } catch (const std::bad_alloc&) {
        code = Fail(kErrOutOfMemory, kTextOutOfMemory);
      }
      if (code == 0) {
        sentRequestId = requestId;
        sentMsgId = msgId;
        sentVersion = out.Version;
        sentUser = v3 ? creds.User : std::string();
        sentAuthenticated = v3 && !creds.AuthKey.empty();
        FirePacketTrace(packet.data(), packet.size(), 2, DottedAddress(remoteAddr), remotePort);
        code = SendBytes(packet.data(), packet.size());
        if (code == 0 && timeoutMs != 0) code = WaitForResponse();
      }
    }
  }
  busyAction = 0;
  waiting = false;
  if (code != 0 && errorText.empty()) errorText = kTextBuildPacket;
  return code;
}

int TSnmpMgrEngine::Discover() {
  errorText.clear();
  if (password.empty() || remoteEngineId.empty()) {
    if (!password.empty() && timeoutMs == 0)
      return Fail(kErrTimeoutNotPositive, kTextTimeoutNotPositive);
    discovering = true;
    objects.SetCount(0);
    const int code = Send(kActionDiscoverEngineId);
    discovering = false;
    if (code != 0 || password.empty()) return code;
  }
  discovering = true;
  const int code = Send(kActionDiscoverClock);
  discovering = false;
  return code;
}

// ---------------------------------------------------------------------------------------------
// Events

void TSnmpMgrEngine::FireError(int code, const std::string& text) {
  intptr_t p[2] = {code, reinterpret_cast<intptr_t>(text.c_str())};
  int l[2] = {};
  Fire(kEventError, 2, p, l);
}

void TSnmpMgrEngine::FireBadPacket(const uint8_t* data, size_t size, const std::string& addr,
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

void TSnmpMgrEngine::FirePacketTrace(const uint8_t* data, size_t size, int direction,
                                     const std::string& addr, int port) {
  intptr_t p[4] = {reinterpret_cast<intptr_t>(data), direction,
                   reinterpret_cast<intptr_t>(addr.c_str()), port};
  int l[4] = {static_cast<int>(size)};
  Fire(kEventPacketTrace, 4, p, l);
}

void TSnmpMgrEngine::FireResponseLike(int event, const std::string& addr, int port) {
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

// ---------------------------------------------------------------------------------------------
// Properties

intptr_t TSnmpMgrEngine::Get(int property, int index, int* length) {
  auto text = [&](std::string value) {
    scratch = std::move(value);
    if (length) *length = static_cast<int>(scratch.size());
    return reinterpret_cast<intptr_t>(scratch.c_str());
  };
  auto bytes = [&](const TByteBuffer& value) {
    if (length) *length = static_cast<int>(value.size());
    return reinterpret_cast<intptr_t>(value.data());
  };
  switch (property) {
    case kPropReceiveEnabled:
      return receiveEnabled;
    case kPropActive:
      return socket.IsOpen();
    case kPropAuthProtocol:
      return authProtocol;
    case kPropCommunity:
      return text(out.Community.str());
    case kPropErrorDescription:
      return text(ErrorStatusName(in.ErrorStatus));
    case kPropErrorIndex:
      return in.ErrorIndex;
    case kPropErrorStatus:
      return in.ErrorStatus;
    case kPropLocalEngineId:
      return text(localEngineId);
    case kPropLocalHost: {
      if (socket.IsOpen()) {
        uint32_t addr = 0;
        uint16_t port = 0;
        socket.BoundAddress(addr, port);
        return text(DottedAddress(addr));
      }
      return text(localAddr != 0 ? DottedAddress(localAddr) : LocalHostName());
    }
    case kPropLocalPort: {
      if (socket.IsOpen()) {
        uint32_t addr = 0;
        uint16_t port = 0;
        if (socket.BoundAddress(addr, port) == 0) return port;
      }
      return localPort;
    }
    case kPropObjCount:
      return objects.Count();
    case kPropObjId:
    case kPropObjType:
    case kPropObjValue: {
      if (index < 1 || index > objects.Count()) {
        if (property == kPropObjType) return kTagOctetString;
        return text("");
      }
      const TSnmpObject& o = std::as_const(objects).At(index);
      if (property == kPropObjType) return o.Type;
      if (property == kPropObjId) return text(o.Id.str());
      return bytes(o.Value);
    }
    case kPropPassword:
      return text(password);
    case kPropRemoteEngineBoots:
      return remoteBoots;
    case kPropRemoteEngineId:
      return text(remoteEngineId);
    case kPropRemoteEngineTime:
      return clockKnown ? EstimatedEngineTime() : remoteTime;
    case kPropRemoteHost:
      return text(remoteAddr != 0 ? DottedAddress(remoteAddr) : std::string());
    case kPropRemotePort:
      return remotePort;
    case kPropRequestId:
      return out.RequestId;
    case kPropSNMPVersion:
      return out.Version == kSnmpV1 ? 1 : out.Version == kSnmpV2c ? 2 : 3;
    case kPropTimeout:
      return timeoutInMilliseconds ? timeoutMs.load() : timeoutMs / 1000;
    case kPropUser:
      return text(user);
    default:
      return 0;
  }
}

int TSnmpMgrEngine::Set(int property, int index, intptr_t value, int length) {
  errorText.clear();
  const int32_t number = static_cast<int32_t>(value);
  auto text = [&] {
    const char* p = reinterpret_cast<const char*>(value);
    if (!p) return std::string();
    return length >= 0 ? std::string(p, static_cast<size_t>(length)) : std::string(p);
  };
  auto resolve = [&](const std::string& host, uint32_t& addr) {
    if (host.empty()) {
      addr = 0;
      return 0;
    }
    if (ParseDottedAddress(host, addr)) return 0;
    uint32_t resolved = 0;
    const int code = ResolveHostName(host, resolved);
    if (code != 0) return Fail(code, WinsockErrorText(code));
    addr = resolved;
    return 0;
  };
  switch (property) {
    case kPropReceiveEnabled:
      receiveEnabled = number != 0;
      if (receiveEnabled && socket.IsOpen()) {
        // Datagrams that waited in the socket are taken now, through the owner's loop.
        QMetaObject::invokeMethod(
            notify,
            [this] {
              SyncNotifier();
              OnReadable();
            },
            Qt::QueuedConnection);
      } else {
        RunInOwner([this] { SyncNotifier(); });
      }
      return 0;
    case kPropActive:
      if (number != 0) return OpenWithRetry();
      Close();
      return 0;
    case kPropAuthProtocol:
      authProtocol = number;
      return 0;
    case kPropCommunity:
      out.Community.assign(text());
      return 0;
    case kPropLocalEngineId:
      localEngineId = text();
      return 0;
    case kPropLocalHost: {
      if (socket.IsOpen()) return Fail(kErrLocalHostActive, kTextLocalHostActive);
      uint32_t addr = 0;
      if (const int code = resolve(text(), addr); code != 0) return code;
      localAddr = addr;
      return 0;
    }
    case kPropLocalPort:
      if (socket.IsOpen()) return Fail(kErrLocalPortActive, kTextLocalPortActive);
      localPort = number;
      return 0;
    case kPropObjCount:
      if (number < 0 || number > kMaxObjects) return Fail(kErrTooManyObjects, kTextTooManyObjects);
      objects.SetCount(number);
      return 0;
    case kPropObjId:
    case kPropObjType:
    case kPropObjValue: {
      if (index < 1 || index > objects.Count())
        return Fail(kErrBadObjectIndex, kTextBadObjectIndex);
      TSnmpObject& o = objects.At(index);
      if (property == kPropObjType)
        o.Type = number;
      else if (property == kPropObjId)
        o.Id.assign(text());
      else
        o.Value.assign(text());
      return 0;
    }
    case kPropPassword:
      password = text();
      return 0;
    case kPropRemoteEngineBoots:
      remoteBoots = number;
      return 0;
    case kPropRemoteEngineId:
      remoteEngineId = text();
      return 0;
    case kPropRemoteEngineTime:
      remoteTime = number;
      remoteTimeAtMs = NowMs();
      clockKnown = true;
      return 0;
    case kPropRemoteHost: {
      if (options.UseConnection && socket.IsOpen())
        return Fail(kErrRemoteHostConnected, kTextRemoteHostConnected);
      const std::string host = text();
      uint32_t addr = 0;
      if (host == "255.255.255.255")
        addr = 0xFFFFFFFFu;
      else if (const int code = resolve(host, addr); code != 0)
        return code;
      remoteAddr = addr;
      ForgetRemoteEngine();
      return 0;
    }
    case kPropRemotePort:
      if (options.UseConnection && socket.IsOpen())
        return Fail(kErrRemotePortConnected, kTextRemotePortConnected);
      remotePort = number;
      ForgetRemoteEngine();
      return 0;
    case kPropRequestId:
      out.RequestId = number;
      return 0;
    case kPropSNMPVersion:
      out.Version = number == 2 ? kSnmpV2c : number == 3 ? kSnmpV3 : kSnmpV1;
      return 0;
    case kPropTimeout:
      timeoutMs = timeoutInMilliseconds ? number : number * 1000;
      deadline = 0;
      return 0;
    case kPropUser:
      user = text();
      out.UserName.assign(user);
      return 0;
    default:  // read-only (5, 6, 7) or unknown
      return -1;
  }
}

// ---------------------------------------------------------------------------------------------
// Config

int TSnmpMgrEngine::Config(const std::string& setting, std::string& result) {
  errorText.clear();
  result.clear();
  const size_t eq = setting.find('=');
  std::string name = setting.substr(0, eq);
  const bool write = eq != std::string::npos;
  const std::string value = write ? setting.substr(eq + 1) : std::string();
  // An index after the name ("Name[2]", "Name(2)") is accepted and ignored.
  if (!name.empty() && (name.back() == ']' || name.back() == ')')) {
    const char open = name.back() == ']' ? '[' : '(';
    const size_t at = name.rfind(open);
    if (at != std::string::npos) name.erase(at);
  }
  const std::string key = LowerAscii(name);
  auto boolSetting = [&](bool& field) {
    if (write)
      field = ParseBool(value);
    else
      result = BoolText(field);
    return 0;
  };
  auto intSetting = [&](int& field) {
    if (write)
      field = ParseInt(value);
    else
      result = std::to_string(field);
    return 0;
  };
  auto textSetting = [&](std::string& field) {
    if (write)
      field = value;
    else
      result = field;
    return 0;
  };
  auto readOnly = [&](const std::string& text) {
    if (!write) result = text;
    return 0;
  };
  auto socketOption = [&](int& field) {
    intSetting(field);
    if (write && socket.IsOpen()) {
      const int code = socket.ApplyOptions(options);
      if (code != 0) return Fail(code, WinsockErrorText(code));
    }
    return 0;
  };

  if (key == "forcelocalport") return boolSetting(forceLocalPort);
  if (key == "ignoreportmismatch") return boolSetting(ignorePortMismatch);
  if (key == "timewindow") return intSetting(timeWindow);
  if (key == "trapport") return intSetting(trapPort);
  if (key == "trapagentaddress") {
    uint32_t addr = 0;
    if (write && !value.empty() && value != "255.255.255.255" && !ParseDottedAddress(value, addr))
      return Fail(kErrNotIpAddress, kTextNotIpAddress);
    return textSetting(trapAgentAddress);
  }
  if (key == "trapcommunity") {
    if (write)
      out.Community.assign(value);
    else
      result = out.Community.str();
    return 0;
  }
  if (key == "trapenterprise") return textSetting(trapEnterprise);
  if (key == "useconnection") {
    if (write && socket.IsOpen()) return Fail(kErrUseConnectionActive, kTextUseConnectionActive);
    return boolSetting(options.UseConnection);
  }
  if (key == "sharelocalport") return boolSetting(options.ShareLocalPort);
  if (key == "maxpacketsize") {
    if (write && socket.IsOpen()) return Fail(kErrMaxPacketSizeActive, kTextMaxPacketSizeActive);
    intSetting(maxPacketSize);
    // A buffer of no bytes could take no datagram at all; the largest is 64 KiB.
    if (maxPacketSize > kMaxPacketLimit) maxPacketSize = kMaxPacketLimit;
    if (maxPacketSize < 1) maxPacketSize = 1;
    out.MsgMaxSize = maxPacketSize;
    return 0;
  }
  if (key == "qosflags") return socketOption(options.QOSFlags);
  if (key == "sockethandle") return readOnly(std::to_string(socket.Handle()));
  if (key == "inbuffersize") return socketOption(options.InBufferSize);
  if (key == "outbuffersize") return socketOption(options.OutBufferSize);
  if (key == "timetolive" || key == "ttl") {
    if (write && ParseInt(value) == 0) return 0;  // 0 keeps the system's default
    return socketOption(options.TimeToLive);
  }
  if (key == "absolutetimeout") return boolSetting(absoluteTimeout);
  if (key == "timeoutinmilliseconds") {
    if (write)
      timeoutInMilliseconds = ParseBool(value);
    else
      result = timeoutInMilliseconds ? "1" : "0";
    return 0;
  }
  if (key == "winsockloaded") return readOnly("True");
  if (key == "winsockmaxdatagramsize") return readOnly("65507");
  if (key == "winsockinfo") return readOnly("POSIX sockets");
  if (key == "winsockmaxsockets") {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    return readOnly(std::to_string(limit.rlim_cur));
  }
  if (key == "winsockpath") return readOnly("libc");
  if (key == "winsockstatus") return readOnly("Running");
  if (key == "codepage") return intSetting(codePage);
  if (key == "charsetmode") return intSetting(charsetMode);
  if (key == "sendgetresponse") {
    // Sends a Response to host:port, which the manager role refuses.
    if (write) {
      const size_t colon = value.rfind(':');
      const std::string host = value.substr(0, colon);
      uint32_t addr = 0;
      if (!ParseDottedAddress(host, addr)) {
        const int code = ResolveHostName(host, addr);
        if (code != 0) return Fail(code, WinsockErrorText(code));
      }
      remoteAddr = addr;
      if (colon != std::string::npos) remotePort = ParseInt(value.substr(colon + 1));
      ForgetRemoteEngine();
      return Fail(kErrRole, kTextRole);
    }
    return 0;
  }
  return Fail(kErrUnknownConfig, kTextUnknownConfig);
}

// ---------------------------------------------------------------------------------------------
// Methods

int TSnmpMgrEngine::Do(int method, int argc, intptr_t* argv, int* argl) {
  errorText.clear();
  auto argText = [&](int i) {
    if (i >= argc || !argv[i]) return std::string();
    const char* p = reinterpret_cast<const char*>(argv[i]);
    return argl && argl[i] >= 0 ? std::string(p, static_cast<size_t>(argl[i])) : std::string(p);
  };
  switch (method) {
    case kMethodConfig: {
      const int code = Config(argText(0), doResult);
      if (argc > 1) {
        argv[1] = reinterpret_cast<intptr_t>(doResult.c_str());
        if (argl) argl[1] = static_cast<int>(doResult.size());
      }
      return code;
    }
    case kMethodDiscover:
      return Discover();
    case kMethodProcessEvents:
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      return 0;
    case kMethodInterrupt:
    case kMethodReset:
      ResetAction();
      return 0;
    case kMethodSendGetBulkRequest:
      out.NonRepeaters = argc > 0 ? static_cast<int32_t>(argv[0]) : 0;
      out.MaxRepetitions = argc > 1 ? static_cast<int32_t>(argv[1]) : 0;
      return Send(kActionGetBulkRequest);
    case kMethodSendGetNextRequest:
      return Send(kActionGetNextRequest);
    case kMethodSendGetRequest:
      return Send(kActionGetRequest);
    case kMethodSendInformRequest:
      return Send(kActionInformRequest);
    case kMethodSendSetRequest:
      return Send(kActionSetRequest);
    case kMethodValueForOid: {
      const std::string oid = argText(0);
      for (int i = 1; i <= objects.Count(); ++i) {
        const TSnmpObject& o = std::as_const(objects).At(i);
        if (o.Id.view() == oid) {
          doResult = o.Value.str();
          if (argc > 1) {
            argv[1] = reinterpret_cast<intptr_t>(doResult.data());
            if (argl) argl[1] = static_cast<int>(doResult.size());
          }
          return 0;
        }
      }
      return Fail(kErrNoSuchOid, kTextNoSuchOid);
    }
    default:
      return Fail(kErrBadAction, kTextBadAction);
  }
}

// ---------------------------------------------------------------------------------------------
// The numbered interface

TSnmpMgrEngine* SNMPMgr_Create(TSnmpMgrCallback callback, void* userData) {
  try {
    return new TSnmpMgrEngine(callback, userData);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int SNMPMgr_Destroy(TSnmpMgrEngine* engine) {
  delete engine;
  return 0;
}

intptr_t SNMPMgr_Get(TSnmpMgrEngine* engine, int property, int index, int* length) {
  if (length) *length = 0;
  return engine->Get(property, index, length);
}

namespace {

int Finish(TSnmpMgrEngine* engine, int code) {
  engine->lastErrorCode = code;
  if (code == 0) {
    engine->lastError.clear();
  } else if (!engine->errorText.empty()) {
    engine->lastError = engine->errorText;
  } else if (code == kErrTimeout) {
    engine->lastError = kTextInterrupted;
  } else if (code == kErrOutOfMemory) {
    engine->lastError = kTextOutOfMemory;
  } else {
    engine->lastError = WinsockErrorText(code);
  }
  return code;
}

}  // namespace

int SNMPMgr_Set(TSnmpMgrEngine* engine, int property, int index, intptr_t value, int length) {
  int code;
  try {
    code = engine->Set(property, index, value, length);
  } catch (const std::bad_alloc&) {
    code = engine->Fail(kErrOutOfMemory, kTextOutOfMemory);
  }
  return Finish(engine, code);
}

int SNMPMgr_Do(TSnmpMgrEngine* engine, int method, int argc, intptr_t* argv, int* argl) {
  int code;
  try {
    code = engine->Do(method, argc, argv, argl);
  } catch (const std::bad_alloc&) {
    engine->busyAction = 0;
    engine->waiting = false;
    code = engine->Fail(kErrOutOfMemory, kTextOutOfMemory);
  }
  return Finish(engine, code);
}

int SNMPMgr_CheckIndex(TSnmpMgrEngine* engine, int property, int index) {
  if (property != kPropObjId && property != kPropObjType && property != kPropObjValue) return 0;
  return index < 1 || index > engine->objects.Count() ? kErrBadArrayIndex : 0;
}

const char* SNMPMgr_GetLastError(TSnmpMgrEngine* engine) {
  return engine->lastError.c_str();
}

int SNMPMgr_GetLastErrorCode(TSnmpMgrEngine* engine) {
  return engine->lastErrorCode;
}

int SNMPMgr_StaticInit(void*) {
  return 0;
}

int SNMPMgr_StaticDestroy() {
  return 0;
}

}  // namespace kestrava

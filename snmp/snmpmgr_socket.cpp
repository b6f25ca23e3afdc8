// The manager's socket: opening with the component's options, the owner thread's readiness
// notifier, and the loop that takes every waiting datagram.

#include <sys/socket.h>

#include <QCoreApplication>
#include <new>

#include "snmp/errors.h"
#include "snmp/snmpmgr_manager.h"

namespace kestrava {

namespace {
constexpr size_t kReceiveBufferSize = 65536;
}  // namespace

int TSnmpManager::Open() {
  errorText.clear();
  if (socket.IsOpen()) return Fail(kErrAlreadyActive, kTextAlreadyActive);
  reading = false;
  closeRequested = false;
  if (options.UseConnection && remote.port == 0)
    return Fail(kErrRemotePortZero, kTextRemotePortZero);
  const int code = socket.Open(local.addr, static_cast<uint16_t>(local.port), options, remote.addr,
                               static_cast<uint16_t>(remote.port));
  if (code != 0) return code;
  try {
    // Whole datagrams whatever MaxPacketSize says: an agent may answer with up to 65,507
    // octets (65,527 over IPv6), and a cut datagram is lost.
    receiveBuffer.resize(kReceiveBufferSize);
  } catch (const std::bad_alloc&) {
    socket.Close();
    return Fail(kErrOutOfMemory, kTextOutOfMemory);
  }
  reader.openFd = socket.Handle();
  RunInOwner([this] { SyncNotifier(); });
  return 0;
}

int TSnmpManager::OpenWithRetry() {
  int code = Open();
  if (code != 0 && code != kErrAlreadyActive && code != kErrRemotePortZero &&
      !settings.forceLocalPort) {
    local.port = 0;
    code = Open();
  }
  if (code != 0 && errorText.empty()) errorText = WinsockErrorText(code);
  return code;
}

void TSnmpManager::Close() {
  if (!socket.IsOpen()) return;
  if (reading) {
    closeRequested = true;
    return;
  }
  // Datagrams still queued are processed (their events fire) before the socket goes.
  if (receiveEnabled && OnOwnerThread() && callback) ReceiveLoop();
  CloseNow();
}

int TSnmpManager::OpenForRemote() {
  const int family = remote.addr.Family == AF_INET6 ? AF_INET6 : AF_INET;
  if (socket.IsOpen() && socket.Family() != family) {
    // Another agent of the other family: the socket follows it. Inside the receive loop the
    // datagrams still queued belong to the agent that is left, so they go with the socket.
    if (reading)
      CloseNow();
    else
      Close();
  }
  return socket.IsOpen() ? 0 : OpenWithRetry();
}

void TSnmpManager::CloseNow() {
  if (!socket.IsOpen()) return;
  const int fd = socket.Release();
  reader.openFd = -1;
  // The notifier lives in the owner thread: it goes first, then the descriptor, so the
  // descriptor's number cannot be reused under a live notifier.
  RunInOwner([this, fd] {
    SyncNotifier();
    ::close(fd);
  });
}

int TSnmpManager::SendBytes(const uint8_t* data, size_t size) {
  if (!socket.IsOpen()) return Fail(kErrNotActive, kTextNotActive);
  const int code = socket.SendTo(data, size, remote.addr, static_cast<uint16_t>(remote.port));
  if (code != 0) return Fail(code, WinsockErrorText(code));
  MoveDeadline();
  return 0;
}

void TSnmpManager::SyncNotifier() {
  const int fd = reader.openFd;
  if (reader.notifier && reader.fd != fd) {
    delete reader.notifier;
    reader.notifier = nullptr;
    reader.fd = -1;
  }
  if (!reader.notifier && fd >= 0) {
    reader.notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, notify);
    reader.fd = fd;
    QObject::connect(reader.notifier, &QSocketNotifier::activated, notify,
                     [this] { OnReadable(); });
  }
  if (reader.notifier) reader.notifier->setEnabled(receiveEnabled && !reading);
}

void TSnmpManager::OnReadable() {
  if (!receiveEnabled || reading) {
    // Readiness is level-triggered: park the notifier until the datagrams can be taken.
    if (reader.notifier) reader.notifier->setEnabled(false);
    return;
  }
  ReceiveLoop();
  SyncNotifier();
}

void TSnmpManager::ReceiveLoop() {
  reading = true;
  // Readiness with no datagram behind it is an ICMP error waiting in the error queue; once a
  // datagram was taken, the queue is left for the next readiness, which it keeps up.
  bool taken = false;
  while (receiveEnabled) {
    if (closeRequested) break;
    if (!socket.IsOpen()) break;
    size_t size = 0;
    TNetAddress addr;
    uint16_t port = 0;
    int code = 0;
    const TReceiveResult r =
        socket.Receive(receiveBuffer.data(), receiveBuffer.size(), size, addr, port, code, !taken);
    taken = true;
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
    if (blockingCall.answered && !blockingCall.waiting) break;
  }
  reading = false;
  if (closeRequested) {
    closeRequested = false;
    CloseNow();
  }
}

}  // namespace kestrava

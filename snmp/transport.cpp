#include "snmp/transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "snmp/errors.h"

namespace kestrava {

namespace {

sockaddr_in MakeAddress(uint32_t addr, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(addr);
  sa.sin_port = htons(port);
  return sa;
}

int LastSocketError() {
  return WinsockCodeFromErrno(errno);
}

int SetIntOption(int fd, int level, int name, int value) {
  if (setsockopt(fd, level, name, &value, sizeof value) != 0) return LastSocketError();
  return 0;
}

// Empties the ICMP error queue; returns the Windows Sockets number of the last error found
// (10054 for a port unreachable), or 0 when the queue was empty.
int DrainErrorQueue(int fd) {
  int code = 0;
  for (;;) {
    char control[512];
    uint8_t payload[64];
    iovec iov{payload, sizeof payload};
    sockaddr_in from{};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return code;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) {
        sock_extended_err ee;
        std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
        code = WinsockCodeFromErrno(static_cast<int>(ee.ee_errno));
      }
    }
  }
}

}  // namespace

TUdpSocket::~TUdpSocket() {
  Close();
}

int TUdpSocket::Open(uint32_t localAddr, uint16_t localPort, const TSocketOptions& options,
                     uint32_t remoteAddr, uint16_t remotePort) {
  Close();
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return LastSocketError();
  m_fd = fd;
  int code = 0;
  if (options.ShareLocalPort) code = SetIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
  if (code == 0) {
    const sockaddr_in local = MakeAddress(localAddr, localPort);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
      code = LastSocketError();
  }
  if (code == 0) code = ApplyOptions(options);
  if (code == 0) code = SetIntOption(fd, SOL_SOCKET, SO_DONTROUTE, 0);
  if (code == 0) code = SetIntOption(fd, SOL_SOCKET, SO_BROADCAST, 1);
  // Linux reports ICMP port unreachable on an unconnected UDP socket only with IP_RECVERR.
  if (code == 0) code = SetIntOption(fd, IPPROTO_IP, IP_RECVERR, 1);
  if (code == 0 && options.UseConnection) {
    const sockaddr_in remote = MakeAddress(remoteAddr, remotePort);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0 &&
        errno != EINPROGRESS && errno != EAGAIN)
      code = LastSocketError();
    else
      m_connected = true;
  }
  if (code != 0) Close();
  return code;
}

int TUdpSocket::Release() {
  const int fd = m_fd;
  m_fd = -1;
  m_connected = false;
  return fd;
}

void TUdpSocket::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_connected = false;
}

int TUdpSocket::ApplyOptions(const TSocketOptions& options) {
  if (m_fd < 0) return 0;
  int code = SetIntOption(m_fd, SOL_SOCKET, SO_RCVBUF, options.InBufferSize);
  if (code == 0) code = SetIntOption(m_fd, SOL_SOCKET, SO_SNDBUF, options.OutBufferSize);
  if (code == 0) code = SetIntOption(m_fd, IPPROTO_IP, IP_TOS, options.QOSFlags);
  if (code == 0 && options.TimeToLive != 0)
    code = SetIntOption(m_fd, IPPROTO_IP, IP_TTL, options.TimeToLive);
  return code;
}

int TUdpSocket::BoundAddress(uint32_t& addr, uint16_t& port) const {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return LastSocketError();
  addr = ntohl(sa.sin_addr.s_addr);
  port = ntohs(sa.sin_port);
  return 0;
}

int TUdpSocket::SendTo(const uint8_t* data, size_t size, uint32_t addr, uint16_t port) {
  if (m_fd < 0) return kWsaEbadf;
  const sockaddr_in to = MakeAddress(addr, port);
  auto sendOnce = [&] {
    if (m_connected) return ::send(m_fd, data, size, 0);
    return ::sendto(m_fd, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  };
  ssize_t sent = sendOnce();
  // The ICMP error of an earlier datagram may surface on this call; it is not this send's
  // failure (the receive path reports it from the error queue), so the send is tried again.
  if (sent < 0 && errno == ECONNREFUSED) sent = sendOnce();
  return sent < 0 ? LastSocketError() : 0;
}

TReceiveResult TUdpSocket::Receive(uint8_t* buffer, size_t capacity, size_t& size, uint32_t& addr,
                                   uint16_t& port, int& code) {
  sockaddr_in from{};
  socklen_t fromLen = sizeof from;
  // MSG_TRUNC makes the call return the datagram's real length, so an oversize one is seen.
  const ssize_t n =
      recvfrom(m_fd, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) {
    const int err = errno;
    if (err == EBADF || err == ENOTSOCK) return TReceiveResult::WouldBlock;
    // An ICMP error whose pending flag a send already consumed still waits in the error queue
    // and keeps the socket readable: it is reported here as well.
    const int queued = DrainErrorQueue(m_fd);
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) {
      if (queued == 0) return TReceiveResult::WouldBlock;
      code = queued;
      return TReceiveResult::Error;
    }
    code = queued != 0 ? queued : WinsockCodeFromErrno(err);
    return TReceiveResult::Error;
  }
  addr = ntohl(from.sin_addr.s_addr);
  port = ntohs(from.sin_port);
  if (static_cast<size_t>(n) > capacity) {
    code = kWsaEmsgsize;
    return TReceiveResult::Error;
  }
  size = static_cast<size_t>(n);
  return TReceiveResult::Datagram;
}

bool ParseDottedAddress(const std::string& text, uint32_t& addr) {
  uint32_t result = 0;
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
    size_t digits = 0;
    uint32_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
      value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || value > 255) return false;
    result = (result << 8) | value;
  }
  if (pos != text.size()) return false;
  addr = result;
  return true;
}

std::string DottedAddress(uint32_t addr) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", addr >> 24, (addr >> 16) & 255, (addr >> 8) & 255,
                addr & 255);
  return text;
}

int ResolveHostName(const std::string& name, uint32_t& addr) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (rc != 0) return WinsockCodeFromResolver(rc);
  int code = kWsaHostNotFound;
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET) {
      addr = ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
      code = 0;
      break;
    }
  }
  freeaddrinfo(list);
  return code;
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace kestrava

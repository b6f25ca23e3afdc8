#include "snmp/transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "snmp/dotted_ipv4.h"
#include "snmp/errors.h"

namespace kestrava {

namespace {

// The socket address of a host address and port, in `family` (a none address: any address).
socklen_t MakeAddress(int family, const TNetAddress& addr, uint16_t port, sockaddr_storage& sa) {
  sa = {};
  if (family == AF_INET6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&sa);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    if (addr.Family == AF_INET6) {
      std::memcpy(&in6->sin6_addr, addr.Bytes, 16);
      in6->sin6_scope_id = addr.ScopeId;
    }
    return sizeof(sockaddr_in6);
  }
  auto* in = reinterpret_cast<sockaddr_in*>(&sa);
  in->sin_family = AF_INET;
  in->sin_port = htons(port);
  if (addr.Family == AF_INET) std::memcpy(&in->sin_addr, addr.Bytes, 4);
  return sizeof(sockaddr_in);
}

// The host address and port of a socket address.
void ReadAddress(const sockaddr_storage& sa, TNetAddress& addr, uint16_t& port) {
  addr = {};
  if (sa.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&sa);
    addr.Family = AF_INET6;
    std::memcpy(addr.Bytes, &in6->sin6_addr, 16);
    addr.ScopeId = in6->sin6_scope_id;
    port = ntohs(in6->sin6_port);
  } else {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&sa);
    addr.Family = AF_INET;
    std::memcpy(addr.Bytes, &in->sin_addr, 4);
    port = ntohs(in->sin_port);
  }
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
    sockaddr_storage from{};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return code;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if ((c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) ||
          (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR)) {
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

int TUdpSocket::Open(const TNetAddress& localAddr, uint16_t localPort,
                     const TSocketOptions& options, const TNetAddress& remoteAddr,
                     uint16_t remotePort) {
  Close();
  const int family = remoteAddr.Family == AF_INET6 ? AF_INET6 : AF_INET;
  const int fd = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return LastSocketError();
  m_fd = fd;
  m_family = family;
  const bool v6 = family == AF_INET6;
  int code = 0;
  if (options.ShareLocalPort) code = SetIntOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
  if (code == 0) {
    sockaddr_storage local;
    const TNetAddress none;
    const socklen_t length =
        MakeAddress(family, localAddr.Family == family ? localAddr : none, localPort, local);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), length) != 0) code = LastSocketError();
  }
  if (code == 0) code = ApplyOptions(options);
  if (code == 0) code = SetIntOption(fd, SOL_SOCKET, SO_DONTROUTE, 0);
  if (code == 0) code = SetIntOption(fd, SOL_SOCKET, SO_BROADCAST, 1);
  // Linux reports ICMP port unreachable on an unconnected UDP socket only with IP_RECVERR.
  if (code == 0)
    code = v6 ? SetIntOption(fd, IPPROTO_IPV6, IPV6_RECVERR, 1)
              : SetIntOption(fd, IPPROTO_IP, IP_RECVERR, 1);
  if (code == 0 && options.UseConnection) {
    sockaddr_storage remote;
    const socklen_t length = MakeAddress(family, remoteAddr, remotePort, remote);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), length) != 0 &&
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
  m_family = 0;
  m_connected = false;
  return fd;
}

void TUdpSocket::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_family = 0;
  m_connected = false;
}

int TUdpSocket::ApplyOptions(const TSocketOptions& options) {
  if (m_fd < 0) return 0;
  int code = SetIntOption(m_fd, SOL_SOCKET, SO_RCVBUF, options.InBufferSize);
  if (code == 0) code = SetIntOption(m_fd, SOL_SOCKET, SO_SNDBUF, options.OutBufferSize);
  // IPv6 names type-of-service the traffic class, and time-to-live the hop limit.
  const bool v6 = m_family == AF_INET6;
  if (code == 0)
    code = v6 ? SetIntOption(m_fd, IPPROTO_IPV6, IPV6_TCLASS, options.QOSFlags)
              : SetIntOption(m_fd, IPPROTO_IP, IP_TOS, options.QOSFlags);
  if (code == 0 && options.TimeToLive != 0)
    code = v6 ? SetIntOption(m_fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, options.TimeToLive)
              : SetIntOption(m_fd, IPPROTO_IP, IP_TTL, options.TimeToLive);
  return code;
}

int TUdpSocket::BoundAddress(TNetAddress& addr, uint16_t& port) const {
  sockaddr_storage sa{};
  socklen_t len = sizeof sa;
  if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return LastSocketError();
  ReadAddress(sa, addr, port);
  return 0;
}

int TUdpSocket::SendTo(const uint8_t* data, size_t size, const TNetAddress& addr, uint16_t port) {
  if (m_fd < 0) return kWsaEbadf;
  if (!m_connected && addr.Family != m_family) return WinsockCodeFromErrno(EAFNOSUPPORT);
  sockaddr_storage to;
  const socklen_t length = MakeAddress(m_family, addr, port, to);
  auto sendOnce = [&] {
    if (m_connected) return ::send(m_fd, data, size, 0);
    return ::sendto(m_fd, data, size, 0, reinterpret_cast<const sockaddr*>(&to), length);
  };
  ssize_t sent = sendOnce();
  // The ICMP error of an earlier datagram may surface on this call; it is not this send's
  // failure (the receive path reports it from the error queue), so the send is tried again.
  if (sent < 0 && errno == ECONNREFUSED) sent = sendOnce();
  return sent < 0 ? LastSocketError() : 0;
}

TReceiveResult TUdpSocket::Receive(uint8_t* buffer, size_t capacity, size_t& size,
                                   TNetAddress& addr, uint16_t& port, int& code,
                                   bool readErrors) {
  sockaddr_storage from{};
  socklen_t fromLen = sizeof from;
  // MSG_TRUNC makes the call return the datagram's real length, so an oversize one is seen.
  const ssize_t n =
      recvfrom(m_fd, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) {
    const int err = errno;
    if (err == EBADF || err == ENOTSOCK) return TReceiveResult::WouldBlock;
    if (!readErrors && (err == EAGAIN || err == EWOULDBLOCK)) return TReceiveResult::WouldBlock;
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
  ReadAddress(from, addr, port);
  if (static_cast<size_t>(n) > capacity) {
    code = kWsaEmsgsize;
    return TReceiveResult::Error;
  }
  size = static_cast<size_t>(n);
  return TReceiveResult::Datagram;
}

bool ParseDottedAddress(const std::string& text, uint32_t& addr) {
  uint8_t octets[4];
  if (!ReadDottedIpv4(text, octets)) return false;
  addr =
      uint32_t{octets[0]} << 24 | uint32_t{octets[1]} << 16 | uint32_t{octets[2]} << 8 | octets[3];
  return true;
}

std::string DottedAddress(uint32_t addr) {
  // Every datagram's source is written out: digits by hand, not through printf.
  char text[16];
  char* at = text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    at = std::to_chars(at, text + sizeof text, (addr >> shift) & 255u).ptr;
    if (shift > 0) *at++ = '.';
  }
  return std::string(text, at);
}

TNetAddress TNetAddress::FromIpv4(uint32_t addr) {
  TNetAddress a;
  a.Family = AF_INET;
  const uint32_t network = htonl(addr);
  std::memcpy(a.Bytes, &network, 4);
  return a;
}

uint32_t TNetAddress::Ipv4() const {
  uint32_t network = 0;
  std::memcpy(&network, Bytes, 4);
  return ntohl(network);
}

bool ParseAddress(const std::string& text, TNetAddress& addr) {
  uint32_t v4 = 0;
  if (ParseDottedAddress(text, v4)) {
    addr = TNetAddress::FromIpv4(v4);
    return true;
  }
  // IPv6 needs a colon; brackets are the URL form ("[::1]"). The resolver reads the rest,
  // numerically only, so that a scope ("%eth0") is understood too.
  std::string literal = text;
  if (literal.size() >= 2 && literal.front() == '[' && literal.back() == ']')
    literal = literal.substr(1, literal.size() - 2);
  if (literal.find(':') == std::string::npos) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  if (getaddrinfo(literal.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
  uint16_t port = 0;
  sockaddr_storage sa{};
  std::memcpy(&sa, list->ai_addr, list->ai_addrlen);
  freeaddrinfo(list);
  ReadAddress(sa, addr, port);
  return true;
}

std::string AddressText(const TNetAddress& addr) {
  if (addr.Family == AF_INET) return DottedAddress(addr.Ipv4());
  if (addr.Family != AF_INET6) return std::string();
  char text[INET6_ADDRSTRLEN + IF_NAMESIZE + 2] = {};
  if (!inet_ntop(AF_INET6, addr.Bytes, text, INET6_ADDRSTRLEN)) return std::string();
  std::string result = text;
  if (addr.ScopeId != 0) {
    char name[IF_NAMESIZE] = {};
    result += '%';
    result += if_indextoname(addr.ScopeId, name) ? std::string(name) : std::to_string(addr.ScopeId);
  }
  return result;
}

int ResolveHostName(const std::string& name, TNetAddress& addr, int family) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (rc != 0) return WinsockCodeFromResolver(rc);
  int code = kWsaHostNotFound;
  // The first answer of either family, in the resolver's order (its preferences apply).
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET || a->ai_family == AF_INET6) {
      sockaddr_storage sa{};
      std::memcpy(&sa, a->ai_addr, a->ai_addrlen);
      uint16_t port = 0;
      ReadAddress(sa, addr, port);
      code = 0;
      break;
    }
  }
  freeaddrinfo(list);
  return code;
}

std::vector<TNetAddress> ResolveHostAddresses(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  std::vector<TNetAddress> addresses;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) return addresses;
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
    sockaddr_storage sa{};
    std::memcpy(&sa, a->ai_addr, a->ai_addrlen);
    TNetAddress addr;
    uint16_t port = 0;
    ReadAddress(sa, addr, port);
    if (std::find(addresses.begin(), addresses.end(), addr) == addresses.end())
      addresses.push_back(addr);
  }
  freeaddrinfo(list);
  return addresses;
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace kestrava

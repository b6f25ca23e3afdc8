#pragma once
// The UDP socket under the SNMP manager engine, IPv4 or IPv6 after the agent: opening with the
// component's options, sending, receiving one datagram with truncation and ICMP-error
// detection, and the address helpers (text of either family, host names). Failures are
// reported as Windows Sockets numbers (snmp/errors.h). Ports are in host byte order.
// Thread: no state shared between objects; one socket is used by one thread at a time, except
// that SendTo may run on another thread while the owner receives (the kernel serialises them).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrava {

// An IPv4 or IPv6 host address; Family 0 names none.
struct TNetAddress {
  int Family = 0;          // AF_INET, AF_INET6 or 0
  uint8_t Bytes[16] = {};  // network order; IPv4 in the first four
  uint32_t ScopeId = 0;    // IPv6 link-local addresses: the interface
  bool IsSet() const { return Family != 0; }
  bool operator==(const TNetAddress&) const = default;
  // REQUIRES (Ipv4 getter): Family is AF_INET. Addresses in host byte order.
  static TNetAddress FromIpv4(uint32_t addr);
  uint32_t Ipv4() const;
};

struct TSocketOptions {
  bool ShareLocalPort = false;
  int InBufferSize = 32768;
  int OutBufferSize = 32768;
  int QOSFlags = 0;
  int TimeToLive = 0;  // 0 keeps the system's default
  bool UseConnection = false;
};

enum class TReceiveResult { Datagram, WouldBlock, Error };

class TUdpSocket {
 public:
  TUdpSocket() = default;
  ~TUdpSocket();
  TUdpSocket(const TUdpSocket&) = delete;
  TUdpSocket& operator=(const TUdpSocket&) = delete;

  // Creates, configures, binds (and with UseConnection connects) a non-blocking socket that
  // also reports ICMP errors, in the family of the remote address (IPv4 when it has none).
  // A local address of the other family is not used: the socket binds any address. Returns 0
  // or a Windows Sockets number (the socket stays closed).
  int Open(const TNetAddress& localAddr, uint16_t localPort, const TSocketOptions& options,
           const TNetAddress& remoteAddr, uint16_t remotePort);
  // AF_INET or AF_INET6 while open.
  int Family() const { return m_family; }
  // Gives up the descriptor without closing it (the caller closes it later); -1 when closed.
  int Release();
  void Close();
  int Handle() const { return m_fd; }
  bool IsOpen() const { return m_fd >= 0; }

  // Applies the buffer sizes, type-of-service and time-to-live to an open socket.
  int ApplyOptions(const TSocketOptions& options);
  int BoundAddress(TNetAddress& addr, uint16_t& port) const;
  // Sends one datagram (on a connected socket to its peer). Returns 0 or a Windows Sockets
  // number (10047 for an address of the other family).
  int SendTo(const uint8_t* data, size_t size, const TNetAddress& addr, uint16_t port);
  // Receives one datagram into buffer. A datagram larger than capacity is consumed and gives
  // Error with 10040; an ICMP port unreachable gives Error with 10054 (the error queue is
  // drained so the socket does not stay readable). With readErrors false, no datagram gives
  // WouldBlock without a look at the error queue.
  TReceiveResult Receive(uint8_t* buffer, size_t capacity, size_t& size, TNetAddress& addr,
                         uint16_t& port, int& code,
                         bool readErrors = true);

 private:
  int m_fd = -1;
  int m_family = 0;
  bool m_connected = false;
};

// "a.b.c.d" (four decimal parts 0..255, nothing else) to an address; false otherwise.
bool ParseDottedAddress(const std::string& text, uint32_t& addr);
std::string DottedAddress(uint32_t addr);
// A numeric address of either family: "a.b.c.d", or IPv6 text with or without brackets
// ("::1", "[fe80::1%eth0]"); false for anything else (host names included).
bool ParseAddress(const std::string& text, TNetAddress& addr);
// Dotted IPv4 text or IPv6 text (no brackets, "%scope" when it has one); empty for none.
std::string AddressText(const TNetAddress& addr);
// Resolves a host name to the first address the resolver gives (of `family` only, when not
// AF_UNSPEC), as net-snmp takes it; 0 or a resolver code (11001..11004).
int ResolveHostName(const std::string& name, TNetAddress& addr, int family = 0);
// Every address of a host name of either family, in the resolver's order, without repeats;
// empty when it has none.
std::vector<TNetAddress> ResolveHostAddresses(const std::string& name);
// This computer's host name.
std::string LocalHostName();

}  // namespace kestrava

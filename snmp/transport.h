#pragma once
// The UDP/IPv4 socket under the SNMP manager engine: opening with the component's options,
// sending, receiving one datagram with truncation and ICMP-error detection, and the address
// helpers (dotted text, host names). Failures are reported as Windows Sockets numbers
// (snmp/errors.h). Addresses and ports are in host byte order.
// Thread: no state shared between objects; one socket is used by one thread at a time, except
// that SendTo may run on another thread while the owner receives (the kernel serialises them).

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrava {

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
  // also reports ICMP errors. Returns 0 or a Windows Sockets number (the socket stays closed).
  int Open(uint32_t localAddr, uint16_t localPort, const TSocketOptions& options,
           uint32_t remoteAddr, uint16_t remotePort);
  // Gives up the descriptor without closing it (the caller closes it later); -1 when closed.
  int Release();
  void Close();
  int Handle() const { return m_fd; }
  bool IsOpen() const { return m_fd >= 0; }

  // Applies the buffer sizes, type-of-service and time-to-live to an open socket.
  int ApplyOptions(const TSocketOptions& options);
  int BoundAddress(uint32_t& addr, uint16_t& port) const;
  // Sends one datagram (to the connected peer when addr and port are 0 and the socket is
  // connected). Returns 0 or a Windows Sockets number.
  int SendTo(const uint8_t* data, size_t size, uint32_t addr, uint16_t port);
  // Receives one datagram into buffer. A datagram larger than capacity is consumed and gives
  // Error with 10040; an ICMP port unreachable gives Error with 10054 (the error queue is
  // drained so the socket does not stay readable).
  TReceiveResult Receive(uint8_t* buffer, size_t capacity, size_t& size, uint32_t& addr,
                         uint16_t& port, int& code);

 private:
  int m_fd = -1;
  bool m_connected = false;
};

// "a.b.c.d" (four decimal parts 0..255, nothing else) to an address; false otherwise.
bool ParseDottedAddress(const std::string& text, uint32_t& addr);
std::string DottedAddress(uint32_t addr);
// Resolves a host name to its first IPv4 address; 0 or a resolver code (11001..11004).
int ResolveHostName(const std::string& name, uint32_t& addr);
// This computer's host name.
std::string LocalHostName();

}  // namespace kestrava

#pragma once
// LoopbackPeer: a bare UDP socket on another loopback address (127.0.0.5 by default) for
// hostile tests: it sends forged datagrams to the program and sees whatever comes back.
// Thread: one thread at a time.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace kestrava::testing {

class LoopbackPeer {
 public:
  explicit LoopbackPeer(const char* address = "127.0.0.5") : m_address(address) {
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    inet_pton(AF_INET, address, &sa.sin_addr);
    socklen_t length = sizeof sa;
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &length) != 0)
      return;
    m_port = ntohs(sa.sin_port);
  }
  ~LoopbackPeer() {
    if (m_fd >= 0) close(m_fd);
  }
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  bool ok() const { return m_port != 0; }
  const std::string& address() const { return m_address; }
  int port() const { return m_port; }

  void SendTo(const std::string& bytes, int port, const char* host = "127.0.0.1") const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, host, &to.sin_addr);
    sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  // A datagram that has arrived, if any; does not wait.
  std::optional<std::string> Take() const {
    char buffer[65536];
    const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
  }

 private:
  std::string m_address;
  int m_fd = -1;
  int m_port = 0;
};

}  // namespace kestrava::testing

#pragma once
// An agent that never answers: a bound UDP port on 127.0.0.1 that takes requests and says
// nothing, so that a session's discovery stays pending while a test looks or feeds polls itself.
// Thread: any.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace kestrava::testing {

class SilentAgent {
 public:
  SilentAgent() {
    m_fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
  }
  ~SilentAgent() { close(m_fd); }
  SilentAgent(const SilentAgent&) = delete;
  SilentAgent& operator=(const SilentAgent&) = delete;
  std::string port() const { return std::to_string(m_port); }

 private:
  int m_fd = -1;
  int m_port = 0;
};

}  // namespace kestrava::testing

// kestrava-fake-agent: serves an interface-like table of N rows on 127.0.0.1 and [::1] (the
// same UDP port; ifDescr-style labels at 1.3.6.1.2.1.2.2.1.2.i, Counter32 values at .10.i and
// .16.i that grow every second), prints its port on the first line of standard output, and
// takes commands on standard
// input, one a line: silent on|off, garbage on|off, duplicate on|off, delay MS, restart
// (counters back to small values), quit. Used by soak tests that drive a running program, so
// it logs only the newest requests (--log N, 1,000 by default): its memory stays flat for
// hours at any number of rows.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fake_agent.h"

namespace {

void Usage() {
  std::cerr << "usage: kestrava-fake-agent [--instances N] [--port PORT] [--community TEXT]\n"
               "                          [--log N] [--xtable]\n"
               "--xtable adds ifXTable's ifName, ifAlias and 64-bit octet counters.\n"
               "Commands on standard input: silent on|off, garbage on|off, duplicate on|off,\n"
               "delay MS, restart, quit.\n";
}

// The agent on [::1]: every IPv6 client gets a socket of its own on 127.0.0.1 that passes its
// datagrams to the agent and the agent's answers back, from the port the client asked.
class Ipv6Relay {
 public:
  Ipv6Relay() = default;
  Ipv6Relay(const Ipv6Relay&) = delete;
  Ipv6Relay& operator=(const Ipv6Relay&) = delete;

  // False when [::1]:port cannot be bound.
  bool Bind(int port) {
    if (m_fd >= 0) close(m_fd);
    m_fd = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 at{};
    at.sin6_family = AF_INET6;
    at.sin6_port = htons(static_cast<uint16_t>(port));
    at.sin6_addr = in6addr_loopback;
    m_agent.sin_family = AF_INET;
    m_agent.sin_port = htons(static_cast<uint16_t>(port));
    m_agent.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return m_fd >= 0 && bind(m_fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
  }
  ~Ipv6Relay() {
    if (m_fd >= 0) close(m_fd);
    for (const auto& [client, fd] : m_clients) close(fd);
  }

  // The sockets to wait on after standard input.
  void AddTo(std::vector<pollfd>& fds) const {
    fds.push_back({m_fd, POLLIN, 0});
    for (const auto& [client, fd] : m_clients) fds.push_back({fd, POLLIN, 0});
  }

  void Serve() {
    char data[65536];
    sockaddr_in6 from{};
    socklen_t fromSize = sizeof from;
    const ssize_t n = recvfrom(m_fd, data, sizeof data, MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (n >= 0) {
      const std::string client(reinterpret_cast<const char*>(&from), sizeof from);
      auto it = m_clients.find(client);
      if (it == m_clients.end()) {
        // A client that went away leaves its socket; a run of clients stays bounded.
        if (m_clients.size() >= kMaxClients) {
          close(m_clients.begin()->second);
          m_clients.erase(m_clients.begin());
        }
        it = m_clients.emplace(client, socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)).first;
      }
      sendto(it->second, data, static_cast<size_t>(n), 0,
             reinterpret_cast<const sockaddr*>(&m_agent), sizeof m_agent);
    }
    for (const auto& [client, fd] : m_clients) {
      const ssize_t answer = recv(fd, data, sizeof data, MSG_DONTWAIT);
      if (answer < 0) continue;
      sendto(m_fd, data, static_cast<size_t>(answer), 0,
             reinterpret_cast<const sockaddr*>(client.data()), sizeof(sockaddr_in6));
    }
  }

 private:
  static constexpr size_t kMaxClients = 64;
  int m_fd = -1;
  sockaddr_in m_agent{};
  std::map<std::string, int> m_clients;  // the client's address (bytes) -> its socket
};

}  // namespace

int main(int argc, char** argv) {
  int instances = 10;
  int port = 0;
  std::string community;
  long logLimit = 1000;  // the program never reads its log; a little helps a debugger
  bool xtable = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--instances" && i + 1 < argc) {
      instances = std::atoi(argv[++i]);
    } else if (arg == "--port" && i + 1 < argc) {
      port = std::atoi(argv[++i]);
    } else if (arg == "--community" && i + 1 < argc) {
      community = argv[++i];
    } else if (arg == "--log" && i + 1 < argc) {
      logLimit = std::atol(argv[++i]);
    } else if (arg == "--xtable") {
      xtable = true;
    } else {
      Usage();
      return arg == "--help" ? 0 : 2;
    }
  }
  // A free port is one free on both addresses: another is tried when [::1] has it taken.
  std::unique_ptr<kestrava::testing::FakeAgent> served;
  Ipv6Relay relay;
  for (int attempt = 0; attempt < 20; ++attempt) {
    served = std::make_unique<kestrava::testing::FakeAgent>(port);
    if (served->ok() && relay.Bind(served->port())) break;
    served.reset();
    if (port != 0) break;
  }
  if (!served) {
    std::cerr << "kestrava-fake-agent: cannot bind the UDP port on 127.0.0.1 and [::1]\n";
    return 1;
  }
  kestrava::testing::FakeAgent& agent = *served;
  agent.SetLogLimit(static_cast<size_t>(logLimit > 0 ? logLimit : 0));
  agent.SetCommunity(community);
  agent.FillInterfaceTable(instances);
  // The columns an exporter's if_mib module reads besides ifTable's (the benchmarks' agent).
  for (int i = 1; xtable && i <= instances; ++i) {
    const std::string index = "." + std::to_string(i);
    agent.SetString("1.3.6.1.2.1.31.1.1.1.1" + index, "port" + std::to_string(i));
    agent.SetString("1.3.6.1.2.1.31.1.1.1.18" + index, i % 3 ? "" : "uplink");
    agent.SetValue("1.3.6.1.2.1.31.1.1.1.6" + index, 0x46, std::to_string((1ull << 40) * i));
    agent.SetValue("1.3.6.1.2.1.31.1.1.1.10" + index, 0x46, std::to_string((1ull << 39) * i));
  }
  std::cout << agent.port() << std::endl;

  using Clock = std::chrono::steady_clock;
  auto nextTick = Clock::now() + std::chrono::seconds(1);
  uint64_t upTime = 100;
  std::string pending;
  for (;;) {
    const auto now = Clock::now();
    if (now >= nextTick) {
      // Row i moves by a different amount, so the rows sort apart in a top-N view.
      for (int i = 1; i <= instances; ++i) {
        const std::string index = std::to_string(i);
        agent.AdvanceCounter("1.3.6.1.2.1.2.2.1.10." + index, 1000u * static_cast<uint64_t>(i));
        agent.AdvanceCounter("1.3.6.1.2.1.2.2.1.16." + index, 500u * static_cast<uint64_t>(i));
      }
      upTime += 100;
      agent.SetValue("1.3.6.1.2.1.1.3.0", 0x43, std::to_string(upTime));
      nextTick += std::chrono::seconds(1);
    }
    const auto waitMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now()).count();
    std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
    relay.AddTo(fds);
    if (poll(fds.data(), fds.size(), static_cast<int>(waitMs > 0 ? waitMs : 0)) <= 0) continue;
    relay.Serve();
    if ((fds[0].revents & (POLLIN | POLLHUP)) == 0) continue;
    char chunk[256];
    const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
    if (n <= 0) return 0;  // standard input closed: the driver is gone
    pending.append(chunk, static_cast<size_t>(n));
    size_t eol;
    while ((eol = pending.find('\n')) != std::string::npos) {
      std::istringstream line(pending.substr(0, eol));
      pending.erase(0, eol + 1);
      std::string command, value;
      line >> command >> value;
      const bool on = value == "on";
      if (command == "silent") {
        agent.SetSilent(on);
      } else if (command == "garbage") {
        agent.SetGarbage(on);
      } else if (command == "duplicate") {
        agent.SetDuplicate(on);
      } else if (command == "delay") {
        agent.SetDelayMs(std::atoi(value.c_str()));
      } else if (command == "restart") {
        agent.FillInterfaceTable(instances, 1);
        upTime = 100;
      } else if (command == "quit") {
        return 0;
      } else if (!command.empty()) {
        std::cerr << "kestrava-fake-agent: unknown command: " << command << "\n";
        continue;
      }
      if (!command.empty()) std::cout << "ok " << command << std::endl;
    }
  }
}

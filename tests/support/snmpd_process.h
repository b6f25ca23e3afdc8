#pragma once
// A real net-snmp agent for tests: started as a child process on 127.0.0.1 and a free
// high UDP port, with a generated configuration (community "cobalt", no system
// configuration), stopped by its process id when the object goes away.
// Thread: any; the object is not shared between threads.

#include <sys/types.h>

#include <string>

namespace kestrava::testing {

class SnmpdProcess {
 public:
  // extraConfig is appended to the generated snmpd.conf (for example createUser lines).
  explicit SnmpdProcess(const std::string& extraConfig = "");
  ~SnmpdProcess();
  SnmpdProcess(const SnmpdProcess&) = delete;
  SnmpdProcess& operator=(const SnmpdProcess&) = delete;

  // True once the agent answers a get of sysUpTime.0.
  bool ok() const { return m_pid > 0 && m_ready; }
  int port() const { return m_port; }
  std::string host() const { return "127.0.0.1"; }
  // "127.0.0.1:PORT", the agent address in net-snmp's tools' syntax.
  std::string peer() const;
  const std::string& error() const { return m_error; }
  // The folder holding the generated configuration and the agent's persistent state.
  const std::string& dir() const { return m_dir; }
  // Stops the agent and starts it again on the same port and folder, so that it keeps its
  // engine id and counts one boot more; moreConfig is appended to snmpd.conf first (a later
  // agentaddress line takes the place of the first). True once it answers again.
  bool Restart(const std::string& moreConfig = "");
  // Restarts the agent listening on udp6:[::1] and the same port as well (community "cobalt"
  // from ::1 too). True once it answers again.
  bool ListenOnIpv6();
  // "udp6:[::1]:PORT", the agent's IPv6 address in net-snmp's tools' syntax.
  std::string peer6() const;

 private:
  bool start(const std::string& extraConfig);
  void stop();

  pid_t m_pid = -1;
  int m_port = 0;
  bool m_ready = false;
  std::string m_dir;
  std::string m_error;
  std::string m_extraConfig;  // for Restart
};

// A UDP port on 127.0.0.1 that was free a moment ago.
int FreeUdpPort();

// Runs a shell command and returns its standard output; exitStatus gets the exit code.
std::string RunCommand(const std::string& command, int* exitStatus = nullptr);

}  // namespace kestrava::testing

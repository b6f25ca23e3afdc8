#include "snmpd_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace kestrava::testing {

int FreeUdpPort() {
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  ::close(fd);
  return port;
}

std::string RunCommand(const std::string& command, int* exitStatus) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    if (exitStatus) *exitStatus = -1;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int status = ::pclose(pipe);
  if (exitStatus) *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

SnmpdProcess::SnmpdProcess(const std::string& extraConfig) {
  m_extraConfig = extraConfig;
  // A port taken by someone else between the probe and snmpd's bind: try another one.
  for (int attempt = 0; attempt < 3 && !m_ready; ++attempt) {
    stop();
    m_ready = start(extraConfig);
  }
}

SnmpdProcess::~SnmpdProcess() {
  stop();
}

std::string SnmpdProcess::peer() const {
  return host() + ":" + std::to_string(m_port);
}

namespace {

constexpr const char* kSnmpd = "/usr/sbin/snmpd";

std::string AgentConfig(int port, const std::string& extraConfig) {
  return "rocommunity cobalt 127.0.0.1\nagentaddress udp:127.0.0.1:" + std::to_string(port) +
         "\nsysLocation Kestrava test agent\nsysContact tests@localhost\n" + extraConfig + "\n";
}

// Starts snmpd in the foreground with its persistent data, log and pid file in `dir`. With
// `configFile` set it reads only that file (-C -c); without it only SNMPCONFPATH=`dir`.
pid_t SpawnSnmpd(const std::string& dir, const std::string& configFile) {
  const std::string logFile = dir + "/snmpd.log";
  const std::string pidFile = dir + "/snmpd.pid";
  std::vector<std::string> args = {"snmpd", "-f"};
  if (!configFile.empty()) args.insert(args.end(), {"-C", "-c", configFile});
  args.insert(args.end(), {"-Lf", logFile, "-p", pidFile, "-M", "/nonexistent"});
  // Everything the child needs is built before the fork.
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  // The agent must not outlive a test that crashed, nor hold the test's output pipe open
  // (a test runner would wait for it until its time-out).
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int devNull = ::open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    if (devNull > STDERR_FILENO) ::close(devNull);
  }
  ::setenv("SNMP_PERSISTENT_DIR", dir.c_str(), 1);
  if (configFile.empty()) ::setenv("SNMPCONFPATH", dir.c_str(), 1);
  ::setenv("MIBS", "", 1);
  ::execv(kSnmpd, argv.data());
  _exit(127);
}

// Waits until the agent answers; net-snmp's snmpget is the independent judge here. Empty when
// it does, else why not.
std::string AwaitAnswer(pid_t& pid, const std::string& peer, const std::string& dir) {
  const std::string probe =
      "snmpget -v2c -c cobalt -t 0.2 -r 0 -On " + peer + " 1.3.6.1.2.1.1.3.0 >/dev/null 2>&1";
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      pid = -1;
      return "snmpd exited at start; see " + dir + "/snmpd.log";
    }
    int rc = -1;
    RunCommand(probe, &rc);
    if (rc == 0) return std::string();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return "snmpd did not answer on " + peer;
}

}  // namespace

bool SnmpdProcess::start(const std::string& extraConfig) {
  char tmpl[] = "/tmp/kestrava-snmpd-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    m_error = "mkdtemp failed";
    return false;
  }
  m_dir = tmpl;
  m_port = FreeUdpPort();
  const std::string conf = m_dir + "/snmpd.conf";
  std::ofstream(conf) << AgentConfig(m_port, extraConfig);
  if (::access(kSnmpd, X_OK) != 0) {
    m_error = "snmpd is not installed (scripts/setup installs it)";
    return false;
  }
  m_pid = SpawnSnmpd(m_dir, conf);
  if (m_pid < 0) {
    m_error = "fork failed";
    return false;
  }
  m_error = AwaitAnswer(m_pid, peer(), m_dir);
  return m_error.empty();
}

void SnmpdProcess::stop() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGTERM);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  m_pid = -1;
  m_ready = false;
  if (!m_dir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
    m_dir.clear();
  }
}

bool SnmpdProcess::Restart(const std::string& moreConfig) {
  if (m_pid <= 0 || m_dir.empty()) return false;
  // snmpd keeps its engine id and boots in SNMP_PERSISTENT_DIR/snmpd.conf, the very file the
  // first start was configured from: it writes its persistent data over it. The configuration
  // is written again to snmpd.local.conf, read beside the persistent file once -C is dropped
  // and SNMPCONFPATH names only this folder (never the system's configuration).
  const std::string local = m_dir + "/snmpd.local.conf";
  if (::access(local.c_str(), F_OK) != 0)
    std::ofstream(local) << AgentConfig(m_port, m_extraConfig);
  if (!moreConfig.empty()) std::ofstream(local, std::ios::app) << moreConfig << "\n";
  ::kill(m_pid, SIGTERM);
  int status = 0;
  ::waitpid(m_pid, &status, 0);
  m_ready = false;
  m_pid = SpawnSnmpd(m_dir, std::string());
  if (m_pid < 0) return false;
  m_error = AwaitAnswer(m_pid, peer(), m_dir);
  return m_ready = m_error.empty();
}

bool SnmpdProcess::ListenOnIpv6() {
  return Restart("agentaddress udp6:[::1]:" + std::to_string(m_port) + "\nrocommunity6 cobalt ::1");
}

std::string SnmpdProcess::peer6() const {
  return "udp6:[::1]:" + std::to_string(m_port);
}

}  // namespace kestrava::testing

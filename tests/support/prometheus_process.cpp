#include "prometheus_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
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

#include "snmpd_process.h"

namespace kestrava::testing {

namespace {

constexpr const char* kPrometheus = "/usr/bin/prometheus";

std::string UrlEncoded(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace

int FreeTcpPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

PrometheusProcess::PrometheusProcess(const std::string& scrapeConfigs) {
  if (::access(kPrometheus, X_OK) != 0) {
    m_error = "prometheus is not installed (scripts/setup installs it)";
    return;
  }
  char tmpl[] = "/tmp/kestrava-prometheus-XXXXXX";
  if (!::mkdtemp(tmpl)) {
    m_error = "mkdtemp failed";
    return;
  }
  m_dir = tmpl;
  m_port = FreeTcpPort();
  const std::string config = m_dir + "/prometheus.yml";
  std::ofstream(config) << "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                           "  evaluation_interval: 1s\nscrape_configs:\n"
                        << scrapeConfigs;
  std::vector<std::string> args = {
      "prometheus", "--config.file=" + config, "--storage.tsdb.path=" + m_dir + "/data",
      "--web.listen-address=127.0.0.1:" + std::to_string(m_port), "--log.level=warn"};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const std::string log = m_dir + "/prometheus.log";
  m_pid = ::fork();
  if (m_pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int devNull = ::open("/dev/null", O_RDONLY);
    const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
    if (logFd >= 0) {
      ::dup2(logFd, STDOUT_FILENO);
      ::dup2(logFd, STDERR_FILENO);
    }
    if (::chdir(m_dir.c_str()) != 0) _exit(126);
    ::execv(kPrometheus, argv.data());
    _exit(127);
  }
  if (m_pid < 0) {
    m_error = "fork failed";
    return;
  }
  const std::string ready =
      "curl -sf -o /dev/null http://127.0.0.1:" + std::to_string(m_port) + "/-/ready";
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < until) {
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      std::ifstream in(log);
      m_error = "prometheus exited at start: " +
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      return;
    }
    int rc = -1;
    RunCommand(ready, &rc);
    if (rc == 0) {
      m_ready = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  m_error = "prometheus did not get ready on port " + std::to_string(m_port);
}

PrometheusProcess::~PrometheusProcess() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGTERM);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  if (!m_dir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }
}

std::string PrometheusProcess::Query(const std::string& expression) const {
  return RunCommand("curl -s 'http://127.0.0.1:" + std::to_string(m_port) +
                    "/api/v1/query?query=" + UrlEncoded(expression) + "'");
}

}  // namespace kestrava::testing

#pragma once
// A real Prometheus (Debian's) for tests: started as a child process on 127.0.0.1 and a free
// TCP port, with its own data folder and a generated configuration (1 s scrape interval), and
// stopped by its process id when the object goes away; the folder goes with it. Queries go
// through its HTTP API (curl).
// Thread: any; the object is not shared between threads.

#include <sys/types.h>

#include <string>

namespace kestrava::testing {

class PrometheusProcess {
 public:
  // scrapeConfigs: the YAML list items under scrape_configs, each starting "  - job_name: ...".
  explicit PrometheusProcess(const std::string& scrapeConfigs);
  ~PrometheusProcess();
  PrometheusProcess(const PrometheusProcess&) = delete;
  PrometheusProcess& operator=(const PrometheusProcess&) = delete;

  // True once Prometheus says it is ready.
  bool ok() const { return m_ready; }
  const std::string& error() const { return m_error; }
  int port() const { return m_port; }
  // The API's JSON answer to an instant query.
  std::string Query(const std::string& expression) const;

 private:
  pid_t m_pid = -1;
  int m_port = 0;
  bool m_ready = false;
  std::string m_dir;
  std::string m_error;
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreeTcpPort();

}  // namespace kestrava::testing

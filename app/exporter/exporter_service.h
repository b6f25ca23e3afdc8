#pragma once
// TExporter: kestrava-exporter's HTTP service, in the SNMP exporter's multi-target convention:
// GET /snmp?target=HOST[:PORT]&module=NAME polls that agent with that module and answers in the
// Prometheus text format, so that a scrape configuration written for the SNMP exporter works
// by changing the exporter's address. GET / is a small page of links, GET /-/healthy says
// "Healthy", GET /metrics has the exporter's own metrics. A target outside the allowed
// networks, a module not configured or a request without a target gets 400 with a one-line
// reason. Each target keeps its poller (and its rows) between scrapes; a poller unused for a
// while is let go. Scrapes of different targets run side by side on the event loop, of the
// same target share one poll, and each ends within Prometheus' scrape time-out.
// Thread: the thread that created it, which runs an event loop.

#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/exporter/exporter_config.h"
#include "app/exporter/target_poller.h"
#include "app/metrics_server.h"

class QHttpServerRequest;

namespace kestrava {

enum class TLogLevel { kDebug, kInfo, kWarn, kError };

class TExporter {
 public:
  using TLog = std::function<void(TLogLevel level, const std::string& text)>;
  TExporter(TExporterConfig config, TLog log);
  TExporter(const TExporter&) = delete;
  TExporter& operator=(const TExporter&) = delete;

  std::string Listen(const TListenAddress& address) { return m_server.Listen(address); }
  int Port() const { return m_server.Port(); }
  size_t Targets() const { return m_pollers.size(); }

  // The seconds a scrape may take: Prometheus' time-out header less a margin for the answer's
  // way back; 10 without the header.
  static double ScrapeSeconds(const QByteArray& timeoutHeader);
  // HOST, HOST:PORT, [V6]:PORT or a bare IPv6 address; false when it is none of these.
  static bool SplitTarget(const QString& target, QString& host, int& port);

 private:
  void Snmp(const QHttpServerRequest& request, const TReply& reply);
  // After the target's name has resolved: checks the allow-list and scrapes.
  void ScrapeResolved(const TReply& reply, const std::string& module, const QString& target,
                      const QList<QHostAddress>& addresses, int port, double seconds);
  void Sweep();

  TExporterConfig m_config;
  TLog m_log;
  TMetricsServer m_server;
  std::map<std::string, std::unique_ptr<TTargetPoller>> m_pollers;
  QTimer m_sweep;
  uint64_t m_scrapes = 0;
  uint64_t m_refused = 0;
};

}  // namespace kestrava

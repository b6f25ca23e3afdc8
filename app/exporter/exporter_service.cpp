#include "app/exporter/exporter_service.h"

#include <QHostInfo>
#include <QHttpServerRequest>
#include <QUrlQuery>
#include <algorithm>

#include "engine/metrics_text.h"

namespace kestrava {

namespace {

constexpr const char* kPlain = "text/plain; charset=utf-8";
// A poller unused this long is let go, with its rows.
constexpr auto kIdleLimit = std::chrono::minutes(10);
// The answer's way back to Prometheus.
constexpr double kScrapeMargin = 0.25;

void Refuse(const TReply& reply, int status, const std::string& reason) {
  reply.Send(status, QByteArray::fromStdString(reason + "\n"), kPlain);
}

}  // namespace

TExporter::TExporter(TExporterConfig config, TLog log)
    : m_config(std::move(config)), m_log(std::move(log)) {
  m_server.Route("/snmp", [this](const QHttpServerRequest& request, const TReply& reply) {
    Snmp(request, reply);
  });
  m_server.Route("/-/healthy", [](const QHttpServerRequest&, const TReply& reply) {
    reply.Send(200, "Healthy\n", kPlain);
  });
  m_server.Route("/", [](const QHttpServerRequest&, const TReply& reply) {
    reply.Send(
        200,
        "<html><head><title>Kestrava exporter</title></head><body>\n"
        "<h1>Kestrava exporter</h1>\n"
        "<form action=\"/snmp\">Target: <input name=\"target\" value=\"127.0.0.1\"> "
        "Module: <input name=\"module\" value=\"if_mib\"> <input type=\"submit\" value=\"Scrape\">"
        "</form>\n<p><a href=\"/snmp?target=127.0.0.1&amp;module=if_mib\">/snmp</a> "
        "<a href=\"/metrics\">/metrics</a> <a href=\"/-/healthy\">/-/healthy</a></p>\n"
        "</body></html>\n",
        "text/html; charset=utf-8");
  });
  m_server.Route("/metrics", [this](const QHttpServerRequest&, const TReply& reply) {
    TMetricsText text;
    text.Add("kestrava_exporter_targets", TMetricType::kGauge, "Targets with a poller kept.", {},
             std::to_string(m_pollers.size()));
    text.Add("kestrava_exporter_scrapes_total", TMetricType::kCounter, "Scrapes of /snmp served.",
             {}, std::to_string(m_scrapes));
    text.Add("kestrava_exporter_refused_total", TMetricType::kCounter,
             "Scrapes of /snmp refused (no target, an unknown module, a target not allowed).", {},
             std::to_string(m_refused));
    reply.Send(200, QByteArray::fromStdString(text.Text()), TMetricsServer::kTextFormat);
  });
  QObject::connect(&m_sweep, &QTimer::timeout, [this] { Sweep(); });
  m_sweep.start(60000);
}

double TExporter::ScrapeSeconds(const QByteArray& timeoutHeader) {
  bool ok = false;
  const double given = timeoutHeader.trimmed().toDouble(&ok);
  if (!ok || !(given > 0)) return 10;
  return std::clamp(given - kScrapeMargin, 0.1, 300.0);
}

bool TExporter::SplitTarget(const QString& target, QString& host, int& port) {
  port = 161;
  QString portText;
  if (target.startsWith('[')) {
    const qsizetype close = target.indexOf(']');
    if (close < 0) return false;
    host = target.mid(1, close - 1);
    const QString rest = target.mid(close + 1);
    if (!rest.isEmpty() && !rest.startsWith(':')) return false;
    portText = rest.mid(1);
    if (rest == ":") return false;
  } else if (target.count(':') == 1) {
    host = target.section(':', 0, 0);
    portText = target.section(':', 1);
    if (portText.isEmpty()) return false;
  } else {
    host = target;  // a name, an IPv4 address, or an IPv6 address without a port
  }
  if (host.isEmpty()) return false;
  if (!portText.isEmpty()) {
    bool ok = false;
    port = portText.toInt(&ok);
    if (!ok || port < 1 || port > 65535 || portText.startsWith('+')) return false;
  }
  return true;
}

void TExporter::Snmp(const QHttpServerRequest& request, const TReply& reply) {
  const QUrlQuery query = request.query();
  const QString target = query.queryItemValue("target", QUrl::FullyDecoded);
  const std::string module = query.hasQueryItem("module")
                                 ? query.queryItemValue("module", QUrl::FullyDecoded).toStdString()
                                 : "if_mib";
  const auto refuse = [&](const std::string& reason) {
    ++m_refused;
    m_log(TLogLevel::kDebug,
          "refused " + request.url().toString().left(200).toStdString() + ": " + reason);
    Refuse(reply, 400, reason);
  };
  if (target.isEmpty()) return refuse("'target' parameter must be specified");
  if (m_config.Modules.count(module) == 0)
    return refuse("Unknown module '" + module.substr(0, 100) + "'");
  QString host;
  int port = 161;
  if (target.size() > 300 || !SplitTarget(target, host, port))
    return refuse("'target' is not HOST[:PORT]: " + target.left(100).toStdString());
  const double seconds = ScrapeSeconds(request.value("X-Prometheus-Scrape-Timeout-Seconds"));
  if (QHostAddress literal; literal.setAddress(host))
    return ScrapeResolved(reply, module, target, {literal}, port, seconds);
  // A name: resolved without holding up the other scrapes.
  QHostInfo::lookupHost(host, &m_sweep, [=, this](const QHostInfo& info) {
    ScrapeResolved(reply, module, target, info.addresses(), port, seconds);
  });
}

void TExporter::ScrapeResolved(const TReply& reply, const std::string& module,
                               const QString& target, const QList<QHostAddress>& addresses,
                               int port, double seconds) {
  if (addresses.isEmpty()) {
    ++m_refused;
    return Refuse(reply, 400, "The target's host is not known: " + target.toStdString());
  }
  // Every address of a name must be allowed: the poller could be answered from any of them.
  for (const QHostAddress& address : addresses) {
    if (!TargetAllowed(m_config, address)) {
      ++m_refused;
      m_log(TLogLevel::kInfo, "refused target " + target.toStdString() + ": not allowed");
      return Refuse(reply, 400,
                    "Target " + target.toStdString() + " is outside the allowed networks");
    }
  }
  const std::string host = addresses.front().toString().toStdString();
  const std::string key = module + "|" + host + "|" + std::to_string(port);
  if (m_pollers.count(key) == 0 && m_pollers.size() >= m_config.MaxTargets) {
    ++m_refused;
    m_log(TLogLevel::kWarn, "refused target " + target.toStdString() + ": max_targets reached");
    return Refuse(reply, 503,
                  "Too many targets (max_targets " + std::to_string(m_config.MaxTargets) +
                      "); an unused one is let go after 10 minutes");
  }
  std::unique_ptr<TTargetPoller>& poller = m_pollers[key];
  if (!poller) {
    poller = std::make_unique<TTargetPoller>(m_config.Modules.at(module), host, port,
                                             m_config.RewalkSeconds);
    m_log(TLogLevel::kDebug, "new target " + key);
  }
  ++m_scrapes;
  // A client that has gone by then gets nothing; the poll's rows and counters stay.
  poller->Scrape(seconds, [reply](const std::string& text) {
    reply.Send(200, QByteArray::fromStdString(text), TMetricsServer::kTextFormat);
  });
}

void TExporter::Sweep() {
  const auto now = TTargetPoller::TClock::now();
  for (auto it = m_pollers.begin(); it != m_pollers.end();) {
    if (!it->second->Busy() && now - it->second->LastUsed() > kIdleLimit) {
      it = m_pollers.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace kestrava

#include "app/metrics_sink.h"

#include <QHttpServerRequest>
#include <chrono>

#include "engine/metrics_text.h"

namespace kestrava {

TMetricsSink::TMetricsSink(const std::string& address,
                           std::function<void(const std::string&)> failed) {
  m_server.Route("/metrics", [this](const QHttpServerRequest&, const TReply& reply) {
    reply.Send(200, QByteArray::fromStdString(Exposition(m_last.get(), m_ended)),
               TMetricsServer::kTextFormat);
  });
  m_server.Route("/", [](const QHttpServerRequest&, const TReply& reply) {
    reply.Send(200,
               "<html><head><title>Kestrava</title></head><body><h1>Kestrava</h1>"
               "<p><a href=\"/metrics\">Metrics</a></p></body></html>\n",
               "text/html; charset=utf-8");
  });
  TListenAddress where;
  std::string error;
  if (ParseListenAddress(address, where, error)) error = m_server.Listen(where);
  if (!error.empty() && failed) failed("the metrics endpoint " + address + ": " + error);
}

void TMetricsSink::TakeSnapshot(const TSnapshotPtr& snapshot) {
  // Values change only with a poll; a snapshot shown again carries the same.
  m_last = snapshot;
}

std::string TMetricsSink::Exposition(const TPollSnapshot* snapshot, const std::string& ended) {
  const auto start = std::chrono::steady_clock::now();
  TMetricsText text;
  if (snapshot) {
    text.AddSnapshot(*snapshot);
    text.AddSessionMetrics(*snapshot);
  } else {
    TPollSnapshot none;
    none.Counters.LastError = ended;
    text.AddSessionMetrics(none);
  }
  // The text's making is the scrape's work.
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  text.Add("kestrava_scrape_duration_seconds", TMetricType::kGauge,
           "Seconds this scrape took to make.", {}, std::to_string(seconds));
  return text.Text();
}

}  // namespace kestrava

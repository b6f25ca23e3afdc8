#pragma once
// TMetricsSink: /METRICS, the window's agent for Prometheus. Serves GET /metrics in the text
// format 0.0.4: every polled row of the last poll (not only the slices shown), named and
// labelled as the SNMP exporter's if_mib module names them, and the poller's own metrics
// (scrape and poll durations, requests, rows, the last error). A scrape before the first poll
// gets the program's own metrics only. An address that cannot be listened on is reported
// through `failed` once; the window goes on without the endpoint.
// Thread: the window's thread only.

#include <functional>
#include <string>

#include "app/metrics_server.h"
#include "engine/poll_snapshot.h"

namespace kestrava {

class TMetricsSink : public IPollSink {
 public:
  TMetricsSink(const std::string& address, std::function<void(const std::string&)> failed);
  void TakeSnapshot(const TSnapshotPtr& snapshot) override;
  void SessionEnded(const std::string& message) override { m_ended = message; }
  // The port listened on; 0 when listening failed.
  int Port() const { return m_server.Port(); }

  // The exposition of a snapshot (null before the first poll; `ended` says why there is none)
  // and of the scrape itself.
  static std::string Exposition(const TPollSnapshot* snapshot, const std::string& ended);

 private:
  TMetricsServer m_server;
  TSnapshotPtr m_last;
  std::string m_ended;
};

}  // namespace kestrava

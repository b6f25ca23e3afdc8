// /METRICS with real parts: a session polls a fake agent whose counters move at known rates,
// its endpoint is fetched over HTTP (gzip too), judged by promtool, and scraped every second by
// a real Prometheus, whose rate() must match the rates Kestrava worked out itself.
#include "app/metrics_sink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "engine/session.h"
#include "metrics_rig.h"
#include "null_window.h"
#include "prometheus_process.h"
#include "snmpd_process.h"
#include "temp_dir.h"

namespace kestrava {
namespace {

using testing::Fetch;
using testing::MovingAgent;
using testing::NullWindow;
using testing::WaitFor;

class KeepLast : public IPollSink {
 public:
  void TakeSnapshot(const TSnapshotPtr& snapshot) override {
    if (snapshot->Fresh) last = snapshot;
  }
  TSnapshotPtr last;
};

struct Rig {
  explicit Rig(int rows) : agent(rows), dir("kestrava-metrics") {
    config = (dir.path / "session.xml").string();
    std::ofstream(config)
        << "<?xml version=\"1.0\"?><kestrava><host>127.0.0.1</host><community>public</community>"
           "<pollinginterval>1</pollinginterval><shooter><remoteport>"
        << agent.agent.port()
        << "</remoteport><snmpversion>2</snmpversion><shootertargets>"
           "<shootertarget><oid>"
        << testing::kIfHCInColumn
        << "</oid><instance>ALL INSTANCES</instance><visible>true</visible></shootertarget>"
           "<shootertarget><oid>AL="
        << testing::kIfDescrColumn
        << "</oid></shootertarget></shootertargets></shooter></kestrava>";
    port = testing::FreeTcpPort();
    sink = std::make_unique<TMetricsSink>("127.0.0.1:" + std::to_string(port),
                                          [this](const std::string& why) { failure = why; });
    session.AddSink(keep);
    session.AddSink(*sink);
    session.Start({"/XML", config});
  }
  ~Rig() { session.Stop(); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port) + "/metrics"; }
  // Two polls: the second has rates.
  bool Polled() {
    return WaitFor([&] { return keep.last && keep.last->Elapsed > 0; }, 15000);
  }

  MovingAgent agent;
  testing_files::TempDir dir;
  std::string config;
  int port = 0;
  std::string failure;
  NullWindow window;
  KeepLast keep;
  std::unique_ptr<TMetricsSink> sink;
  TSession session{window};
};

TEST(MetricsPeerTest, EndpointServesEveryRowExactlyAndPromtoolParsesIt) {
  Rig rig(4);
  ASSERT_TRUE(rig.failure.empty()) << rig.failure;
  ASSERT_TRUE(rig.Polled());
  const testing::FetchResult plain = testing::Fetch(rig.Url());
  ASSERT_EQ(plain.exitCode, 0);
  EXPECT_NE(plain.headers.find("text/plain; version=0.0.4"), std::string::npos) << plain.headers;
  // Every row, each with every digit of its Counter64 (beyond 2^53).
  for (int i = 1; i <= 4; ++i) {
    const std::string head = "ifHCInOctets{ifDescr=\"if" + std::to_string(i) + "\",ifIndex=\"" +
                             std::to_string(i) + "\"} ";
    const size_t at = plain.body.find("\n" + head);
    ASSERT_NE(at, std::string::npos) << plain.body;
    const std::string value = plain.body.substr(
        at + 1 + head.size(), plain.body.find('\n', at + 1) - at - 1 - head.size());
    EXPECT_GT(std::stoull(value), MovingAgent::kBase) << value;
    EXPECT_EQ(value.size(), 19u) << value;
  }
  EXPECT_NE(plain.body.find("\nkestrava_rows 4\n"), std::string::npos);

  // gzip when asked; the same text.
  const testing::FetchResult packed = testing::Fetch(rig.Url(), {"--compressed"});
  EXPECT_NE(packed.headers.find("Content-Encoding: gzip"), std::string::npos) << packed.headers;
  EXPECT_NE(packed.body.find("# TYPE ifHCInOctets counter\n"), std::string::npos);

  // promtool parses it; what it lints is only the SNMP exporter's naming, kept on purpose.
  testing_files::TempDir dir("kestrava-promtool");
  std::ofstream(dir.path / "metrics.txt") << plain.body;
  int rc = -1;
  const std::string lint = testing::RunCommand(
      "promtool check metrics < " + (dir.path / "metrics.txt").string() + " 2>&1", &rc);
  EXPECT_TRUE(rc == 0 || rc == 3) << lint;
  std::istringstream lines(lint);
  for (std::string line; std::getline(lines, line);) {
    const bool expected =
        line.find("should be written in 'snake_case' not 'camelCase'") != std::string::npos ||
        line.find("should have \"_total\" suffix") != std::string::npos;
    EXPECT_TRUE(expected) << line;
  }

  // An unknown path: 404 with its reason on one line.
  const testing::FetchResult unknown =
      testing::Fetch("http://127.0.0.1:" + std::to_string(rig.port) + "/metricz");
  EXPECT_NE(unknown.headers.find(" 404"), std::string::npos) << unknown.headers;
  EXPECT_EQ(unknown.body, "Unknown path /metricz (GET / lists the paths)\n");
}

TEST(MetricsPeerTest, AnAddressInUseIsReportedAndTheSessionGoesOn) {
  Rig first(1);
  ASSERT_TRUE(first.failure.empty()) << first.failure;
  std::string failure;
  TMetricsSink second("127.0.0.1:" + std::to_string(first.port),
                      [&](const std::string& why) { failure = why; });
  EXPECT_NE(failure.find("the metrics endpoint 127.0.0.1:" + std::to_string(first.port)),
            std::string::npos)
      << failure;
  EXPECT_EQ(second.Port(), 0);
  for (const char* bad : {"9100", "127.0.0.1:0", "127.0.0.1:70000", "::1:9100", "127.0.0.1:x"}) {
    std::string why;
    TMetricsSink sink(bad, [&](const std::string& text) { why = text; });
    EXPECT_NE(why.find(std::string("the metrics endpoint ") + bad + ": "), std::string::npos)
        << bad;
  }
  EXPECT_TRUE(first.Polled());
}

TEST(MetricsPeerTest, PrometheusRatesMatchKestravasOwn) {
  Rig rig(4);
  ASSERT_TRUE(rig.failure.empty()) << rig.failure;
  testing::PrometheusProcess prometheus(
      "  - job_name: window\n    static_configs:\n"
      "      - targets: ['127.0.0.1:" +
      std::to_string(rig.port) + "']\n");
  ASSERT_TRUE(prometheus.ok()) << prometheus.error();
  // Enough scrapes for a 5 s window, with the event loop serving them.
  std::vector<testing::QuerySeries> rates;
  WaitFor(
      [&] {
        testing::Spin(500);
        rates = testing::QueryVector(prometheus.Query("rate(ifHCInOctets[5s])"));
        return rates.size() == 4 && rig.keep.last && rig.keep.last->Elapsed > 0;
      },
      30000);
  testing::Spin(5000);
  rates = testing::QueryVector(prometheus.Query("rate(ifHCInOctets[5s])"));
  ASSERT_EQ(rates.size(), 4u);
  const TPollSnapshot& snapshot = *rig.keep.last;
  for (const testing::QuerySeries& series : rates) {
    const std::string descr = series.labels.at("ifDescr");
    const int row = std::stoi(series.labels.at("ifIndex"));
    EXPECT_EQ(descr, "if" + std::to_string(row));
    ASSERT_TRUE(snapshot.Slots[static_cast<size_t>(row - 1)].HasRate);
    const double own = snapshot.Slots[static_cast<size_t>(row - 1)].Rate;
    // Kestrava's rate is the agent's exactly (both move with the agent's uptime).
    EXPECT_NEAR(own, MovingAgent::Rate(row), MovingAgent::Rate(row) * 0.01) << descr;
    // Prometheus sees each poll's step at its own scrape times: close, not exact. Rows differ
    // three-fold, so a row taken for another is far outside.
    EXPECT_NEAR(series.value, own, own * 0.35) << descr;
  }
}

}  // namespace
}  // namespace kestrava

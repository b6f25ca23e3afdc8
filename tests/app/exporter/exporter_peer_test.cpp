// kestrava-exporter against agents: the SNMP exporter's names and labels with exact values, rows
// kept between scrapes and walked again after a restart, one poll for scrapes that meet, a
// silent agent's scrape ending within Prometheus' time-out, requests that must be refused, and
// a real Prometheus scraping two agents through it.
#include "app/exporter/exporter_service.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "../metrics_rig.h"
#include "fake_agent.h"
#include "prometheus_process.h"
#include "snmpd_process.h"
#include "temp_dir.h"

namespace kestrava {
namespace {

using testing::FakeAgent;
using testing::Fetch;
using testing::MovingAgent;
using testing::WaitFor;

int CountPdus(const FakeAgent& agent, int type) {
  int n = 0;
  for (const FakeAgent::Request& request : agent.Log()) n += request.PduType == type;
  return n;
}
constexpr int kGet = 0xA0;
constexpr int kGetBulk = 0xA5;

// Scrapes a poller and waits for its text.
std::string ScrapeNow(TTargetPoller& poller, double seconds = 5) {
  std::string text;
  bool done = false;
  poller.Scrape(seconds, [&](const std::string& got) {
    text = got;
    done = true;
  });
  WaitFor([&] { return done; });
  return text;
}

bool Has(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(ExporterPeerTest, RowsAreKeptBetweenScrapesAndWalkedAgainAfterARestart) {
  FakeAgent agent;
  agent.FillInterfaceTable(3);
  agent.SetValue(testing::kSysUpTime, 0x43, "100000");
  TTargetPoller poller(BuiltInIfMib(), "127.0.0.1", agent.port(), 3600);

  std::string text = ScrapeNow(poller);
  EXPECT_GT(CountPdus(agent, kGetBulk), 0);
  EXPECT_TRUE(Has(text, "kestrava_rows 3")) << text;
  // Scrapes that meet share one poll: the same text, and the agent asked once.
  agent.ClearLog();
  std::string first, second;
  poller.Scrape(5, [&](const std::string& got) { first = got; });
  poller.Scrape(5, [&](const std::string& got) { second = got; });
  ASSERT_TRUE(WaitFor([&] { return !first.empty() && !second.empty(); }));
  EXPECT_EQ(first, second);
  EXPECT_EQ(CountPdus(agent, kGetBulk), 0);
  const int oids = 1 + 3 * static_cast<int>(BuiltInIfMib().Columns.size());
  EXPECT_EQ(CountPdus(agent, kGet), (oids + kBatchSize - 1) / kBatchSize);

  // The agent restarts with a fourth interface: the poll that sees the uptime fall still reads
  // the old rows, the next one walks them anew.
  agent.SetValue(testing::kSysUpTime, 0x43, "50");
  agent.SetString(testing::kIfDescrColumn + ".4", "new0");
  agent.SetCounter32("1.3.6.1.2.1.2.2.1.10.4", 4444);
  agent.ClearLog();
  text = ScrapeNow(poller);
  EXPECT_EQ(CountPdus(agent, kGetBulk), 0);
  EXPECT_TRUE(Has(text, "kestrava_rows 3")) << text;
  text = ScrapeNow(poller);
  EXPECT_GT(CountPdus(agent, kGetBulk), 0);
  EXPECT_TRUE(Has(text, "kestrava_rows 4")) << text;
  EXPECT_NE(text.find("ifInOctets{ifAlias=\"\",ifDescr=\"new0\",ifIndex=\"4\",ifName=\"\"} 4444\n"),
            std::string::npos)
      << text;
}

TEST(ExporterPeerTest, ASilentAgentsScrapeEndsInTimeWithWhatItHas) {
  FakeAgent agent;
  agent.FillInterfaceTable(2);
  TExporterModule module = BuiltInIfMib();
  module.TimeoutMs = 200;
  TTargetPoller poller(module, "127.0.0.1", agent.port(), 3600);
  ASSERT_TRUE(Has(ScrapeNow(poller), "kestrava_rows 2"));
  agent.SetSilent(true);
  // The requests would go on for 3 x 200 ms; the scrape has 250 ms.
  const std::string text = ScrapeNow(poller, 0.25);
  EXPECT_TRUE(Has(text, "kestrava_scrape_timed_out 1")) << text;
  EXPECT_TRUE(Has(text, "kestrava_last_error{message=\"The scrape ran out of time\"} 1")) << text;
  EXPECT_EQ(text.find("ifInOctets{"), std::string::npos);
  // Given the time, the requests expire and say so.
  const std::string lost = ScrapeNow(poller, 5);
  EXPECT_TRUE(Has(lost, "kestrava_scrape_timed_out 0")) << lost;
  EXPECT_NE(lost.find("kestrava_last_error{message=\"No answer from 127.0.0.1:" +
                      std::to_string(agent.port()) + " in time\"} 1"),
            std::string::npos)
      << lost;
}

// The walk of the rows gets past what agents do to it: GetBulk refused as too big or lost as too
// long is asked again smaller, an SNMPv1 agent is walked with get-next to its noSuchName, and an
// agent that answers with the OID asked ends the walk instead of holding it.
TEST(ExporterPeerTest, TheWalkOfTheRowsGetsPastTooBigLostAnswersAndLoops) {
  const struct {
    const char* name;
    int version;
    std::function<void(FakeAgent&)> setup;
    int rows;
  } cases[] = {
      {"tooBig above 5 repetitions", 2, [](FakeAgent& a) { a.SetBulkTooBigAbove(5); }, 20},
      {"answers over 300 bytes lost", 2, [](FakeAgent& a) { a.SetMaxAnswerBytes(300); }, 20},
      {"SNMPv1", 1, [](FakeAgent&) {}, 20},
      {"looping", 2, [](FakeAgent& a) { a.SetLooping(true); }, 0},
  };
  for (const auto& c : cases) {
    FakeAgent agent;
    agent.FillInterfaceTable(20);
    c.setup(agent);
    TExporterModule module = BuiltInIfMib();
    module.SnmpVersion = c.version;
    module.Columns = {"1.3.6.1.2.1.2.2.1.10"};  // ifInOctets, which SNMPv1 serves too
    module.TimeoutMs = 100;
    module.Retries = 0;
    TTargetPoller poller(module, "127.0.0.1", agent.port(), 3600);
    const std::string text = ScrapeNow(poller);
    EXPECT_TRUE(Has(text, "kestrava_rows " + std::to_string(c.rows))) << c.name << "\n" << text;
    EXPECT_TRUE(Has(text, "kestrava_scrape_timed_out 0")) << c.name << "\n" << text;
    if (c.rows > 0) {
      EXPECT_NE(
          text.find("ifInOctets{ifAlias=\"\",ifDescr=\"eth19\",ifIndex=\"20\",ifName=\"\"} 1020"),
          std::string::npos)
          << c.name << "\n"
          << text;
    }
  }
}

struct Service {
  explicit Service(TExporterConfig config = DefaultExporterConfig())
      : exporter(std::move(config), [](TLogLevel, const std::string&) {}) {
    port = testing::FreeTcpPort();
    error = exporter.Listen({"127.0.0.1", port});
  }
  std::string Url(const std::string& query) const {
    return "http://127.0.0.1:" + std::to_string(port) + query;
  }
  TExporter exporter;
  int port = 0;
  std::string error;
};

TEST(ExporterPeerTest, TwoAgentsNamedLabelledAndExact) {
  MovingAgent a(3), b(2);
  Service service;
  ASSERT_TRUE(service.error.empty()) << service.error;
  for (auto [agent, rows] : {std::pair{&a, 3}, std::pair{&b, 2}}) {
    const testing::FetchResult got = Fetch(
        service.Url("/snmp?module=if_mib&target=127.0.0.1:" + std::to_string(agent->agent.port())),
        {"--compressed", "-H", "X-Prometheus-Scrape-Timeout-Seconds: 5"});
    ASSERT_EQ(got.exitCode, 0);
    EXPECT_NE(got.headers.find("Content-Encoding: gzip"), std::string::npos) << got.headers;
    EXPECT_TRUE(Has(got.body, "kestrava_rows " + std::to_string(rows))) << got.body;
    for (int i = 1; i <= rows; ++i) {
      const std::string alias = i % 2 ? "uplink \\\"" + std::to_string(i) + "\\\"" : "";
      const std::string labels = "{ifAlias=\"" + alias + "\",ifDescr=\"if" + std::to_string(i) +
                                 "\",ifIndex=\"" + std::to_string(i) + "\",ifName=\"name" +
                                 std::to_string(i) + "\"} ";
      const size_t at = got.body.find("\nifHCInOctets" + labels);
      ASSERT_NE(at, std::string::npos) << labels << "\n" << got.body;
      const size_t from = at + 13 + labels.size();
      const std::string value = got.body.substr(from, got.body.find('\n', from) - from);
      EXPECT_GT(std::stoull(value), MovingAgent::kBase) << value;
      EXPECT_EQ(value.size(), 19u) << value;
    }
  }
  EXPECT_EQ(service.exporter.Targets(), 2u);
}

// Targets scraped at once are polled at once: every agent has its first request before any
// agent answers one. Each agent holds its first answer until all have been asked (or a few
// seconds have passed, which only an exporter that polls one target after another needs).
TEST(ExporterPeerTest, TargetsScrapedAtOnceArePolledAtOnce) {
  constexpr size_t kTargets = 20;
  struct Meeting {
    std::mutex mutex;
    std::condition_variable met;
    std::set<size_t> asked;
    std::optional<size_t> askedAtFirstAnswer;
  };
  auto meeting = std::make_shared<Meeting>();
  std::vector<std::unique_ptr<FakeAgent>> agents;
  QStringList args = {"-s", "--parallel", "--parallel-immediate", "--parallel-max",
                      QString::number(kTargets)};
  Service service;
  ASSERT_TRUE(service.error.empty()) << service.error;
  for (size_t i = 0; i < kTargets; ++i) {
    agents.push_back(std::make_unique<FakeAgent>());
    agents.back()->FillInterfaceTable(2);
    agents.back()->SetResponder([meeting, i](const FakeAgent::Request&) {
      std::unique_lock lock(meeting->mutex);
      meeting->asked.insert(i);
      meeting->met.notify_all();
      meeting->met.wait_for(lock, std::chrono::seconds(3),
                            [&] { return meeting->asked.size() == kTargets; });
      if (!meeting->askedAtFirstAnswer) meeting->askedAtFirstAnswer = meeting->asked.size();
      return std::optional<std::string>();
    });
    args << "-o"
         << "/dev/null"
         << QString::fromStdString(service.Url("/snmp?module=if_mib&target=127.0.0.1:" +
                                               std::to_string(agents.back()->port())));
  }
  QProcess curl;
  curl.start("curl", args);
  ASSERT_TRUE(WaitFor([&] { return curl.state() == QProcess::NotRunning; }, 60000));
  EXPECT_EQ(curl.exitCode(), 0);
  std::lock_guard lock(meeting->mutex);
  ASSERT_TRUE(meeting->askedAtFirstAnswer.has_value());
  EXPECT_EQ(*meeting->askedAtFirstAnswer, kTargets);
  for (const auto& agent : agents) agent->SetResponder({});
}

// A burst of connections, one per target as Prometheus opens them, is taken whole while the
// loop is busy elsewhere: none waits for its SYN to be sent again.
TEST(ExporterPeerTest, ABurstOfConnectionsIsTakenWhileTheLoopIsBusy) {
  Service service;
  ASSERT_TRUE(service.error.empty()) << service.error;
  constexpr int kConnections = 300;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(service.port));
  std::vector<pollfd> connections;
  // The event loop does not run meanwhile: nothing is accepted, the kernel holds them all.
  for (int i = 0; i < kConnections; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    connections.push_back({fd, POLLOUT, 0});
  }
  // Connections the kernel took are established at once on loopback; the others' SYNs went
  // unanswered and are sent again only after a second.
  int established = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (!connections.empty() && std::chrono::steady_clock::now() < until) {
    poll(connections.data(), connections.size(), 50);
    std::erase_if(connections, [&](const pollfd& connection) {
      if ((connection.revents & POLLOUT) == 0) return false;
      int error = 0;
      socklen_t size = sizeof error;
      getsockopt(connection.fd, SOL_SOCKET, SO_ERROR, &error, &size);
      established += error == 0;
      close(connection.fd);
      return true;
    });
  }
  for (const pollfd& connection : connections) close(connection.fd);
  EXPECT_EQ(established, kConnections);
}

TEST(ExporterPeerTest, RequestsThatAreRefusedSayWhyOnOneLine) {
  MovingAgent agent(1);
  TExporterConfig config = DefaultExporterConfig();
  config.Allowed = {QHostAddress::parseSubnet("127.0.0.1/32")};
  config.MaxTargets = 1;
  Service service(config);
  ASSERT_TRUE(service.error.empty()) << service.error;
  const std::string port = std::to_string(agent.agent.port());
  const struct {
    std::string query;
    int status;
    std::string body;
  } cases[] = {
      {"/snmp?module=if_mib", 400, "'target' parameter must be specified\n"},
      {"/snmp?target=127.0.0.1:" + port + "&module=nope", 400, "Unknown module 'nope'\n"},
      {"/snmp?target=127.0.0.2:" + port, 400,
       "Target 127.0.0.2:" + port + " is outside the allowed networks\n"},
      {"/snmp?target=%5B%3A%3A1%5D:" + port, 400,
       "Target [::1]:" + port + " is outside the allowed networks\n"},
      {"/snmp?target=127.0.0.1:99999", 400, "'target' is not HOST[:PORT]: 127.0.0.1:99999\n"},
      {"/snmp?target=name.invalid", 400, "The target's host is not known: name.invalid\n"},
      {"/snmpx", 404, "Unknown path /snmpx (GET / lists the paths)\n"},
      {"/-/healthy", 200, "Healthy\n"},
      // One target is kept; a second is one too many while the first is.
      {"/snmp?module=if_mib&target=127.0.0.1:" + port, 200, ""},
      {"/snmp?target=127.0.0.1:1", 503,
       "Too many targets (max_targets 1); an unused one is let go after 10 minutes\n"},
  };
  for (const auto& c : cases) {
    const testing::FetchResult got = Fetch(service.Url(c.query));
    EXPECT_NE(got.headers.find("HTTP/1.1 " + std::to_string(c.status)), std::string::npos)
        << c.query << "\n"
        << got.headers;
    if (c.body.empty()) {
      EXPECT_TRUE(Has(got.body, "kestrava_rows 1")) << c.query << "\n" << got.body;
    } else {
      EXPECT_EQ(got.body, c.body) << c.query;
    }
  }
  // Only the scrape that was served made a poller.
  EXPECT_EQ(service.exporter.Targets(), 1u);
}

TEST(ExporterPeerTest, HostileClientsLeaveTheExporterServingOthers) {
  MovingAgent agent(2);
  Service service;
  ASSERT_TRUE(service.error.empty()) << service.error;
  const std::string scrape =
      service.Url("/snmp?module=if_mib&target=127.0.0.1:" + std::to_string(agent.agent.port()));
  // A thousand connections held open, a client that asks and never reads, a huge query string
  // and a stream of refused scrapes, all at once, from a child process.
  QProcess hostile;
  hostile.start("python3",
                {"-c", R"(
import socket, sys, time
port = int(sys.argv[1]); target = sys.argv[2]
held = []
for i in range(1000):
    s = socket.create_connection(('127.0.0.1', port)); held.append(s)
    if i % 2: s.sendall(b'GET /snmp?target=' + target.encode() + b' HTTP/1.1\r\nHost: x\r\n')
slow = socket.create_connection(('127.0.0.1', port))
slow.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
for i in range(200):
    slow.sendall(b'GET /snmp?target=' + target.encode() + b' HTTP/1.1\r\nHost: x\r\n\r\n')
for q in [b'/snmp?target=' + b'x' * 100000, b'/snmp?module=' + b'%00' * 30000 + b'&target=1',
          b'/snmp?target=10.1.1.1', b'/snmp?target=127.0.0.1&module=../../etc']:
    try:
        s = socket.create_connection(('127.0.0.1', port))
        s.sendall(b'GET ' + q + b' HTTP/1.1\r\nHost: x\r\n\r\n'); s.recv(100); s.close()
    except OSError:
        pass
print('ready', flush=True)
time.sleep(30)
)",
                 QString::number(service.port),
                 QString::fromStdString("127.0.0.1:" + std::to_string(agent.agent.port()))});
  ASSERT_TRUE(WaitFor(
      [&] { return hostile.canReadLine() || hostile.state() == QProcess::NotRunning; }, 60000));
  ASSERT_EQ(hostile.readLine().trimmed(), "ready") << hostile.readAllStandardError().toStdString();
  // Meanwhile an ordinary scrape is served, in full.
  const testing::FetchResult got = Fetch(scrape);
  EXPECT_EQ(got.exitCode, 0);
  EXPECT_TRUE(Has(got.body, "kestrava_rows 2")) << got.headers << got.body.substr(0, 300);
  EXPECT_EQ(Fetch(service.Url("/-/healthy")).body, "Healthy\n");
  hostile.kill();
  hostile.waitForFinished();
  testing::Spin(200);
  // The hostile connections gone, the exporter still serves.
  EXPECT_TRUE(Has(Fetch(scrape).body, "kestrava_rows 2"));
}

TEST(ExporterPeerTest, AClientThatLeavesBeforeItsAnswerHurtsNobody) {
  FakeAgent agent;
  agent.FillInterfaceTable(2);
  agent.SetDelayMs(300);
  Service service;
  ASSERT_TRUE(service.error.empty()) << service.error;
  const std::string scrape =
      service.Url("/snmp?module=if_mib&target=127.0.0.1:" + std::to_string(agent.port()));
  // Gone before the walk's first answer, and again before the values'.
  for (int i = 0; i < 2; ++i) {
    EXPECT_NE(Fetch(scrape, {"--max-time", "0.1"}).exitCode, 0);
    testing::Spin(400);
  }
  testing::Spin(1500);
  const testing::FetchResult got = Fetch(scrape);
  EXPECT_TRUE(Has(got.body, "kestrava_rows 2")) << got.body;
}

TEST(ExporterPeerTest, SnmpV3CredentialsComeFromTheFile) {
  testing::SnmpdProcess snmpd(
      "createUser kestrava SHA-256 kestrava-auth AES kestrava-priv\nrouser kestrava priv\n");
  ASSERT_TRUE(snmpd.ok()) << snmpd.error();
  testing_files::TempDir dir("kestrava-exporter-v3");
  const std::string path = (dir.path / "exporter.yml").string();
  std::ofstream(path) << "modules:\n"
                         "  v3:\n    version: 3\n    metrics: [ifInOctets]\n"
                         "    auth: {username: kestrava, security_level: authPriv, auth_protocol: "
                         "SHA-256, password: kestrava-auth, priv_protocol: AES, priv_password: "
                         "kestrava-priv}\n"
                         "  wrong:\n    version: 3\n    metrics: [ifInOctets]\n    retries: 0\n"
                         "    auth: {username: kestrava, security_level: authPriv, auth_protocol: "
                         "SHA-256, password: not-the-password, priv_protocol: AES, priv_password: "
                         "kestrava-priv}\n";
  TExporterConfig config = DefaultExporterConfig();
  std::string error;
  ASSERT_TRUE(LoadExporterConfig(path, config, error)) << error;
  Service service(config);
  ASSERT_TRUE(service.error.empty()) << service.error;
  const testing::FetchResult good = Fetch(service.Url("/snmp?module=v3&target=" + snmpd.peer()));
  EXPECT_NE(good.body.find("ifInOctets{ifAlias=\"\",ifDescr=\"lo\",ifIndex=\"1\""),
            std::string::npos)
      << good.body;
  EXPECT_TRUE(Has(good.body, "kestrava_last_error{message=\"\"} 0")) << good.body;
  // A wrong password reads nothing, and says why.
  const testing::FetchResult bad = Fetch(service.Url("/snmp?module=wrong&target=" + snmpd.peer()));
  EXPECT_EQ(bad.body.find("ifInOctets{"), std::string::npos) << bad.body;
  EXPECT_TRUE(Has(bad.body, "kestrava_rows 0")) << bad.body;
  EXPECT_NE(bad.body.find("kestrava_last_error{message=\""), std::string::npos);
  EXPECT_EQ(bad.body.find("kestrava_last_error{message=\"\"}"), std::string::npos) << bad.body;
}

TEST(ExporterPeerTest, PrometheusScrapesTwoAgentsThroughItAndAgreesWithTheirRates) {
  MovingAgent a(2), b(3);
  Service service;
  ASSERT_TRUE(service.error.empty()) << service.error;
  // The SNMP exporter's documented scrape configuration, the exporter's address changed.
  testing::PrometheusProcess prometheus(
      "  - job_name: snmp\n"
      "    metrics_path: /snmp\n"
      "    params:\n"
      "      module: [if_mib]\n"
      "    static_configs:\n"
      "      - targets: ['127.0.0.1:" +
      std::to_string(a.agent.port()) + "', '127.0.0.1:" + std::to_string(b.agent.port()) +
      "']\n"
      "    relabel_configs:\n"
      "      - source_labels: [__address__]\n"
      "        target_label: __param_target\n"
      "      - source_labels: [__param_target]\n"
      "        target_label: instance\n"
      "      - target_label: __address__\n"
      "        replacement: 127.0.0.1:" +
      std::to_string(service.port) + "\n");
  ASSERT_TRUE(prometheus.ok()) << prometheus.error();
  std::vector<testing::QuerySeries> rates;
  WaitFor(
      [&] {
        testing::Spin(500);
        rates = testing::QueryVector(prometheus.Query("rate(ifHCInOctets[5s])"));
        return rates.size() == 5;
      },
      30000);
  testing::Spin(5000);
  rates = testing::QueryVector(prometheus.Query("rate(ifHCInOctets[5s])"));
  ASSERT_EQ(rates.size(), 5u);
  for (const testing::QuerySeries& series : rates) {
    const int row = std::stoi(series.labels.at("ifIndex"));
    EXPECT_EQ(series.labels.at("ifDescr"), "if" + std::to_string(row));
    EXPECT_EQ(series.labels.at("ifName"), "name" + std::to_string(row));
    // Each scrape polls at its own moment: the rate is the agent's, within the scrape's jitter.
    EXPECT_NEAR(series.value, MovingAgent::Rate(row), MovingAgent::Rate(row) * 0.35)
        << series.labels.at("instance") << " row " << row;
  }
  // The fleet-wide top N of the README finds the fastest interface of both agents.
  const auto top = testing::QueryVector(prometheus.Query("topk(2, rate(ifHCInOctets[1m]) * 8)"));
  ASSERT_EQ(top.size(), 2u);
  for (const testing::QuerySeries& series : top) EXPECT_NE(series.labels.at("ifIndex"), "1");
}

}  // namespace
}  // namespace kestrava

#pragma once
// What the metrics endpoint tests share: a fake agent whose interface counters move at fixed
// rates as time passes, HTTP fetches that keep the event loop running (our servers answer on
// this very thread), and Prometheus' query answers taken apart.
// Thread: the test's (main) thread, inside a QCoreApplication.

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fake_agent.h"

namespace kestrava::testing {

inline bool WaitFor(const std::function<bool()>& done, int realMs = 10000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return true;
}

// Runs the event loop for ms.
inline void Spin(int ms) {
  WaitFor([] { return false; }, ms);
}

inline const std::string kIfDescrColumn = "1.3.6.1.2.1.2.2.1.2";
inline const std::string kIfHCInColumn = "1.3.6.1.2.1.31.1.1.1.6";
inline const std::string kIfHCOutColumn = "1.3.6.1.2.1.31.1.1.1.10";
inline const std::string kIfNameColumn = "1.3.6.1.2.1.31.1.1.1.1";
inline const std::string kIfAliasColumn = "1.3.6.1.2.1.31.1.1.1.18";
inline const std::string kSysUpTime = "1.3.6.1.2.1.1.3.0";

// A fake agent with interfaces "if1".."ifN": ifHCInOctets of row i grows by Rate(i) octets a
// second (ifHCOutOctets by half of it), sysUpTime with the same clock, so that a poller's rate
// is exactly Rate(i). The values move every 20 ms on the event loop.
class MovingAgent {
 public:
  explicit MovingAgent(int rows) : m_rows(rows), m_start(std::chrono::steady_clock::now()) {
    for (int i = 1; i <= rows; ++i) {
      const std::string index = "." + std::to_string(i);
      agent.SetString(kIfDescrColumn + index, "if" + std::to_string(i));
      agent.SetString(kIfNameColumn + index, "name" + std::to_string(i));
      agent.SetString(kIfAliasColumn + index, i % 2 ? "uplink \"" + std::to_string(i) + "\"" : "");
    }
    Move();
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Move(); });
    m_timer.start(20);
  }
  static double Rate(int row) { return 1e6 * std::pow(3.0, row - 1); }
  // Counters start high, beyond a double's 53 bits.
  static constexpr uint64_t kBase = (uint64_t{1} << 60) + 1;

  FakeAgent agent;

 private:
  void Move() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const uint64_t ticks = static_cast<uint64_t>(seconds * 100);
    agent.SetValue(kSysUpTime, 0x43, std::to_string(ticks));
    for (int i = 1; i <= m_rows; ++i) {
      const std::string index = "." + std::to_string(i);
      const uint64_t in = kBase + static_cast<uint64_t>(Rate(i) * static_cast<double>(ticks) / 100);
      agent.SetValue(kIfHCInColumn + index, 0x46, std::to_string(in));
      agent.SetValue(kIfHCOutColumn + index, 0x46, std::to_string(in / 2));
    }
  }

  int m_rows;
  std::chrono::steady_clock::time_point m_start;
  QTimer m_timer;
};

struct FetchResult {
  int exitCode = -1;
  std::string headers;
  std::string body;
};

// curl in a child process while the event loop runs; extra: more curl arguments.
inline FetchResult Fetch(const std::string& url, const QStringList& extra = {}) {
  QProcess curl;
  QStringList args = {"-s", "-D", "/dev/stderr", "--max-time", "20"};
  args << extra << QString::fromStdString(url);
  curl.start("curl", args);
  FetchResult result;
  if (!WaitFor([&] { return curl.state() == QProcess::NotRunning; }, 25000)) {
    curl.kill();
    curl.waitForFinished();
    return result;
  }
  result.exitCode = curl.exitCode();
  result.headers = curl.readAllStandardError().toStdString();
  result.body = curl.readAllStandardOutput().toStdString();
  return result;
}

// An instant query's vector: each series' labels and value.
struct QuerySeries {
  std::map<std::string, std::string> labels;
  double value = NAN;
};
inline std::vector<QuerySeries> QueryVector(const std::string& json) {
  std::vector<QuerySeries> out;
  const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
  for (const QJsonValue& item : root["data"].toObject()["result"].toArray()) {
    QuerySeries series;
    const QJsonObject metric = item.toObject()["metric"].toObject();
    for (auto it = metric.begin(); it != metric.end(); ++it)
      series.labels[it.key().toStdString()] = it.value().toString().toStdString();
    series.value = item.toObject()["value"].toArray().at(1).toString().toDouble();
    out.push_back(std::move(series));
  }
  return out;
}

}  // namespace kestrava::testing

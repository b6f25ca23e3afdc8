// Polls the fake agent program (kestrava-fake-agent, a process of its own, so that the CPU time
// measured here is the engine's) through a whole TSession: discovery, then poll cycles for a
// while, with two sinks as a scripted run has them (the pie and a CSV file). Prints the discovery
// time, the whole cycle from the poll's run to the fed chart, the
// engine's CPU time per cycle, the average CPU load and the resident memory. Then the same
// requests, cycle after cycle, from a minimal poller on net-snmp's library with the engine's
// window of requests in flight, back to back and then a second apart, and the ratios of the CPU
// times and of the whole cycles.
// usage: bench_engine_cycle [--instances N] [--interval S] [--seconds T] [--peer-cycles N]

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/output_sinks.h"
#include "counting_window.h"
#include "engine/session.h"
#ifdef KESTRAVA_NETSNMP_PEER
#include "netsnmp_poller.h"
#endif

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

// Times the process gave up the CPU of its own accord (waits for a datagram, a lock, a timer).
long VoluntarySwitches() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw;
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int instances = 5000;
  int interval = 5;
  int seconds = 60;
  int peerCycles = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--instances") instances = std::atoi(argv[i + 1]);
    if (arg == "--interval") interval = std::atoi(argv[i + 1]);
    if (arg == "--seconds") seconds = std::atoi(argv[i + 1]);
    if (arg == "--peer-cycles") peerCycles = std::atoi(argv[i + 1]);
  }

  QProcess agent;
  agent.start(KESTRAVA_FAKE_AGENT, {"--instances", QString::number(instances)});
  if (!agent.waitForStarted(5000) || !agent.waitForReadyRead(5000)) {
    std::fprintf(stderr, "the fake agent did not start: %s\n", KESTRAVA_FAKE_AGENT);
    return 1;
  }
  const std::string port = agent.readLine().trimmed().toStdString();

  kestrava::CountingWindow window;
  struct Cycle {
    double wholeMs;
    double cpuMs;
  };
  std::vector<Cycle> cycles;
  double lastCpu = 0;
  bool polling = false;
  kestrava::TSession session(window);
  // Two sinks, as a scripted run has them: the pie (the counting window) and the CSV file.
  session.AddSink(window);
  const std::string csvPath =
      QDir::temp().filePath(QStringLiteral("kestrava-cycle-%1.csv").arg(getpid())).toStdString();
  int csvFailures = 0;
  kestrava::TCsvExport csv(csvPath, [&](const std::string&) { ++csvFailures; });
  session.AddSink(csv);
  window.onFeed = [&] {
    const double cpu = CpuSeconds();
    // From the run's first send to the fed chart.
    const double whole = Seconds(window.runStarted) * 1000;
    if (polling && window.slices > 0) cycles.push_back({whole, (cpu - lastCpu) * 1000});
    lastCpu = cpu;
  };

  const auto started = std::chrono::steady_clock::now();
  session.Start(
      {"/HOST", "127.0.0.1", "/PORT", port, "/POLLINGINTERVAL", std::to_string(interval)});
  while (!window.polling && Seconds(started) < 600) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  if (!window.polling) {
    std::fprintf(stderr, "discovery did not end: %s\n", window.status.c_str());
    return 1;
  }
  const double discovery = Seconds(started);
  const long rssAfterDiscovery = ResidentKb();
  polling = true;
  lastCpu = CpuSeconds();
  const double cpuFrom = lastCpu;
  const long switchesFrom = VoluntarySwitches();
  const auto from = std::chrono::steady_clock::now();
  // A real event loop: the driver itself sleeps between events.
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  const double cpuUsed = CpuSeconds() - cpuFrom;
  const double wall = Seconds(from);
  const long rss = ResidentKb();
  const long switches = VoluntarySwitches() - switchesFrom;
  session.Stop();
  std::remove(csvPath.c_str());
  if (csvFailures > 0) std::fprintf(stderr, "the CSV could not be written %d times\n", csvFailures);
  agent.write("quit\n");
  agent.waitForFinished(3000);

  std::vector<double> whole;
  std::vector<double> cpu;
  for (const Cycle& c : cycles) {
    whole.push_back(c.wholeMs);
    cpu.push_back(c.cpuMs);
  }
  std::printf("instances %d, interval %d s, polled %.0f s\n", instances, interval, wall);
  std::printf("discovery: %.2f s (%d get-next steps)\n", discovery, instances + 1);
  std::printf(
      "cycles fed: %zu; whole cycle (first send to chart fed): median %.1f ms, max %.1f ms\n",
      cycles.size(), Median(whole),
      whole.empty() ? 0.0 : *std::max_element(whole.begin(), whole.end()));
  std::printf(
      "engine CPU per interval (poll, answers, evaluation, feed, housekeeping): "
      "median %.2f ms, max %.2f ms\n",
      Median(cpu), cpu.empty() ? 0.0 : *std::max_element(cpu.begin(), cpu.end()));
  std::printf("average CPU load: %.3f %% of one core\n", 100.0 * cpuUsed / wall);
  if (!cycles.empty())
    std::printf("voluntary context switches per cycle: %.0f\n",
                static_cast<double>(switches) / static_cast<double>(cycles.size()));
  std::printf("resident memory: %.1f MB after discovery, %.1f MB at the end\n",
              rssAfterDiscovery / 1024.0, rss / 1024.0);
#ifdef KESTRAVA_NETSNMP_PEER
  if (peerCycles > 0) {
    // The same agent again, for the peer: the engine's poll asks ifInOctets of every row.
    QProcess peerAgent;
    peerAgent.start(KESTRAVA_FAKE_AGENT, {"--instances", QString::number(instances)});
    if (!peerAgent.waitForStarted(5000) || !peerAgent.waitForReadyRead(5000)) return 1;
    const int peerPort = std::atoi(peerAgent.readLine().trimmed().constData());
    std::vector<std::string> oids;
    for (int i = 1; i <= instances; ++i)
      oids.push_back("1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
    // Back to back, and then a second apart as the engine's cycles are: a cycle that starts
    // from an idle process pays for waking both processes up again and again.
    for (const int pauseMs : {0, 1000}) {
      const long peerSwitchesFrom = VoluntarySwitches();
      const kestrava::bench::TPeerCycles peer = kestrava::bench::RunNetSnmpPoller(
          peerPort, "cobalt", oids, static_cast<int>(kestrava::kMaxBatchesInFlight), peerCycles,
          pauseMs);
      std::printf(
          "net-snmp poller (snmp_async_send, %zu in flight), %d cycles %s: CPU median "
          "%.2f ms, whole cycle median %.1f ms, lost requests %d\n",
          kestrava::kMaxBatchesInFlight, peerCycles, pauseMs ? "1 s apart" : "back to back",
          Median(peer.CpuMs), Median(peer.WallMs), peer.Lost);
      std::printf("  voluntary context switches per cycle: %.0f\n",
                  static_cast<double>(VoluntarySwitches() - peerSwitchesFrom) / peerCycles);
      if (!peer.CpuMs.empty() && Median(peer.CpuMs) > 0 && Median(peer.WallMs) > 0)
        std::printf("  engine / net-snmp: CPU %.2f, whole cycle %.2f\n",
                    Median(cpu) / Median(peer.CpuMs), Median(whole) / Median(peer.WallMs));
    }
    peerAgent.write("quit\n");
    peerAgent.waitForFinished(3000);
  }
#endif
  return cycles.empty() ? 1 : 0;
}

// The net-snmp poller as a program of its own, for side-by-side load figures with the whole
// program: polls ifInOctets of rows 1..N of the agent at 127.0.0.1:PORT every second (GetRequests
// of 15 OIDs, as many in flight as the engine allows) until SECONDS have passed.
// usage: bench_netsnmp_poller PORT INSTANCES SECONDS

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/batch_run.h"
#include "netsnmp_poller.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s PORT INSTANCES SECONDS\n", argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const int instances = std::atoi(argv[2]);
  const int seconds = std::atoi(argv[3]);
  std::vector<std::string> oids;
  oids.reserve(static_cast<size_t>(instances));
  for (int i = 1; i <= instances; ++i) oids.push_back("1.3.6.1.2.1.2.2.1.10." + std::to_string(i));
  const kestrava::bench::TPeerCycles cycles = kestrava::bench::RunNetSnmpPoller(
      port, "cobalt", oids, static_cast<int>(kestrava::kMaxBatchesInFlight), seconds, 1000, true);
  if (cycles.CpuMs.empty()) return 1;
  if (cycles.Lost > 0) std::fprintf(stderr, "lost requests: %d\n", cycles.Lost);
  return 0;
}

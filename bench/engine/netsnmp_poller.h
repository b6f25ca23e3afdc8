#pragma once
// A minimal poller on net-snmp's library, the peer the engine's poll cycle is measured against:
// the same GetRequests (15 OIDs each) to the same agent, with snmp_async_send and a window of
// requests in flight, every answered counter kept in an array. No histories, no pie.
// Thread: the calling thread only; net-snmp's library is used by nothing else in the process.

#include <string>
#include <vector>

namespace kestrava::bench {

struct TPeerCycles {
  std::vector<double> CpuMs;   // CPU time of each whole cycle
  std::vector<double> WallMs;  // from the first send to the last answer
  int Lost = 0;                // requests that got no answer within a second
};

// Runs `cycles` poll cycles against 127.0.0.1:port, `pauseMs` apart: every OID of `oids`, cut
// into requests of 15, at most `window` requests in flight. With `periodic`, a cycle starts
// pauseMs after the one before started (a poller's fixed interval), not after it ended.
TPeerCycles RunNetSnmpPoller(int port, const std::string& community,
                             const std::vector<std::string>& oids, int window, int cycles,
                             int pauseMs, bool periodic = false);

}  // namespace kestrava::bench

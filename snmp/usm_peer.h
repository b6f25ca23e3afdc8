#pragma once
// TUsmPeer: what the manager knows of the agent's SNMPv3 engine (RFC 3414 2.3): its engine id
// and its clock, boots and time, as learnt at a moment of the manager's own steady clock, from
// which the agent's time now is estimated.
// Thread: one thread at a time.

#include <cstdint>
#include <string>

namespace kestrava {

struct TUsmPeer {
  std::string EngineId;  // empty: not discovered
  bool ClockKnown = false;
  int32_t Boots = 0;
  int32_t Time = 0;
  int64_t TimeAtMs = 0;  // when Time was learnt, on the manager's clock

  // The agent's time at nowMs, as it runs on from the time learnt.
  int32_t EstimatedTime(int64_t nowMs) const {
    return static_cast<int32_t>(Time + (nowMs - TimeAtMs) / 1000);
  }
  // Takes boots and time as the agent's clock at nowMs. Boots and time run from 0 to 2^31-1
  // (RFC 3414 2.2.2): anything else names no clock and changes nothing.
  void LearnClock(int32_t boots, int32_t time, int64_t nowMs) {
    if (boots < 0 || time < 0) return;
    Boots = boots;
    Time = time;
    TimeAtMs = nowMs;
    ClockKnown = true;
  }
  void Forget() {
    EngineId.clear();
    ClockKnown = false;
    Boots = 0;
    Time = 0;
  }
};

}  // namespace kestrava

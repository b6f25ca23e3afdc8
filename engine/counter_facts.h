#pragma once
// TCounterFacts: what the agent says about the interface counters a session polls, learnt once
// when polling starts: which rows have the 64-bit twin of ifInOctets / ifOutOctets in ifXTable
// (ifHCInOctets / ifHCOutOctets), and how fast each interface is (ifHighSpeed, else ifSpeed).
// The poll plan asks for a twin in place of its 32-bit counter, so that a busy interface does
// not wrap between two polls; a 32-bit counter that fell is known to have wrapped exactly once
// when less time passed than one wrap takes at the interface's speed. A twin that the agent
// stops serving (noSuchInstance) is gone: its row polls the 32-bit counter again, and the twin
// is asked for until it comes back.
// Thread: the window's thread only.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/discovery.h"
#include "engine/sample.h"

namespace kestrava {

inline constexpr const char* kSysUpTime = "1.3.6.1.2.1.1.3.0";

class TCounterFacts {
 public:
  void Clear();
  // Whether a probe of the rows polled now has been answered since Clear.
  bool Known() const { return m_known; }
  void SetKnown() { m_known = true; }

  // The 64-bit twin of a target column ("" when it has none we know of).
  static std::string TwinColumn(const std::string& target);
  // Whether a target column counts an interface's octets (its rows are ifIndex values).
  static bool IsInterfaceOctets(const std::string& target);

  // The OIDs to ask once for these rows and targets: the twins of the interface counters and
  // the speeds of their interfaces, as an item list; "" when no target is such a counter.
  std::string ProbeOids(const std::vector<TInstance>& rows,
                        const std::vector<std::string>& targets) const;
  // One answer to the probe.
  void Learn(std::string_view oid, const TSample& value, int type);

  // True when the twin of target for this row answered with a 64-bit counter.
  bool HasTwin(const std::string& target, const std::string& suffix) const;
  // A polled twin OID the agent no longer serves.
  void Forget(std::string_view twinOid);
  // The gone twins as an item list, to ask whether they are back ("" none).
  std::string GoneOids() const;
  // True once for a twin that came back: its first value follows a 32-bit one.
  bool TakeReturned(std::string_view twinOid);

  // Whether a 32-bit interface octet counter of this slot that fell wrapped exactly once,
  // counting `unwrapped` since the poll `elapsed` seconds before; suffix: the slot's row.
  bool WrappedOnce(const std::string& target, const std::string& suffix, double elapsed,
                   uint64_t unwrapped) const;
  // The OIDs of the interfaces' speeds for these rows, every ifSpeed before every ifHighSpeed
  // (an SNMPv1 agent without ifXTable then fails only the requests of the latter).
  static std::string SpeedOids(const std::vector<TInstance>& rows);
  // The interface's speed in bits per second: ifHighSpeed x 10^6 when the agent gave it and it
  // is not 0, else ifSpeed; 0 unknown.
  double LinkSpeed(const std::string& suffix) const;
  // Seconds one wrap of a 32-bit octet counter takes at this interface's speed; 0 when the
  // speed is not known.
  double WrapSeconds(const std::string& suffix) const;

 private:
  bool m_known = false;
  std::unordered_set<std::string> m_twins;              // twin OIDs that answered with a Counter64
  std::unordered_set<std::string> m_gone;               // twin OIDs that were, then were not served
  std::unordered_set<std::string> m_returned;           // gone twins served again, not polled yet
  std::unordered_map<std::string, double> m_speed;      // suffix -> bits per second (ifSpeed)
  std::unordered_map<std::string, double> m_highSpeed;  // suffix -> bits per second
};

}  // namespace kestrava

#pragma once
// TCounterFacts: what the agent says about the interface counters a session polls, learnt once
// when polling starts: which rows have the 64-bit twin of ifInOctets / ifOutOctets in ifXTable
// (ifHCInOctets / ifHCOutOctets), and how fast each interface is (ifHighSpeed, else ifSpeed).
// The poll plan asks for a twin in place of its 32-bit counter, so that a busy interface does
// not wrap between two polls; a 32-bit counter that fell is known to have wrapped exactly once
// when less time passed than one wrap takes at the interface's speed.
// Thread: the window's thread only.

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
  // Seconds one wrap of a 32-bit octet counter takes at this interface's speed; 0 when the
  // speed is not known.
  double WrapSeconds(const std::string& suffix) const;

 private:
  std::unordered_set<std::string> m_twins;  // twin OIDs that answered with a Counter64
  std::unordered_map<std::string, double> m_speed;      // suffix -> bits per second (ifSpeed)
  std::unordered_map<std::string, double> m_highSpeed;  // suffix -> bits per second
};

}  // namespace kestrava

#include "engine/counter_facts.h"

#include "shared/item_list.h"
#include "shared/oid.h"

namespace kestrava {

namespace {

const std::string kIfInOctets = "1.3.6.1.2.1.2.2.1.10";
const std::string kIfOutOctets = "1.3.6.1.2.1.2.2.1.16";
const std::string kIfHCInOctets = "1.3.6.1.2.1.31.1.1.1.6";
const std::string kIfHCOutOctets = "1.3.6.1.2.1.31.1.1.1.10";
const std::string kIfSpeed = "1.3.6.1.2.1.2.2.1.5";          // bits per second, Gauge32
const std::string kIfHighSpeed = "1.3.6.1.2.1.31.1.1.1.15";  // millions of bits per second
constexpr int kCounter64 = 0x46;
constexpr double kWrap = 4294967296.0;  // 2^32
// ifSpeed's largest value: the speed is ifHighSpeed's then.
constexpr double kSpeedCeiling = 4294967295.0;

// The suffix after column when oid lies in it, else "".
std::string_view SuffixIn(std::string_view oid, std::string_view column) {
  return IsUnderOid(oid, column) ? oid.substr(column.size()) : std::string_view();
}

}  // namespace

void TCounterFacts::Clear() {
  m_known = false;
  m_twins.clear();
  m_gone.clear();
  m_returned.clear();
  m_speed.clear();
  m_highSpeed.clear();
}

std::string TCounterFacts::TwinColumn(const std::string& target) {
  if (target == kIfInOctets) return kIfHCInOctets;
  if (target == kIfOutOctets) return kIfHCOutOctets;
  return std::string();
}

bool TCounterFacts::IsInterfaceOctets(const std::string& target) {
  return target == kIfInOctets || target == kIfOutOctets;
}

std::string TCounterFacts::ProbeOids(const std::vector<TInstance>& rows,
                                     const std::vector<std::string>& targets) const {
  std::vector<std::string> twins;
  for (const std::string& target : targets) {
    const std::string twin = TwinColumn(target);
    if (!twin.empty()) twins.push_back(twin);
  }
  std::string list;
  if (twins.empty()) return list;
  for (const TInstance& row : rows) {
    for (const std::string& twin : twins) AppendItem(list, twin + row.Suffix);
    AppendItem(list, kIfSpeed + row.Suffix);
    AppendItem(list, kIfHighSpeed + row.Suffix);
  }
  return list;
}

void TCounterFacts::Learn(std::string_view oid, const TSample& value, int type) {
  if (value.IsNull() || !value.IsWhole()) return;  // noSuchInstance and the like
  if (!SuffixIn(oid, kIfHCInOctets).empty() || !SuffixIn(oid, kIfHCOutOctets).empty()) {
    if (type != kCounter64) return;
    const std::string twin(oid);
    if (m_gone.erase(twin) > 0) m_returned.insert(twin);
    m_twins.insert(twin);
    return;
  }
  if (const std::string_view suffix = SuffixIn(oid, kIfSpeed); !suffix.empty()) {
    m_speed[std::string(suffix)] = static_cast<double>(value.Magnitude());
  } else if (const std::string_view high = SuffixIn(oid, kIfHighSpeed); !high.empty()) {
    m_highSpeed[std::string(high)] = static_cast<double>(value.Magnitude()) * 1e6;
  }
}

bool TCounterFacts::HasTwin(const std::string& target, const std::string& suffix) const {
  const std::string twin = TwinColumn(target);
  return !twin.empty() && m_twins.count(twin + suffix) > 0;
}

void TCounterFacts::Forget(std::string_view twinOid) {
  const std::string twin(twinOid);
  if (m_twins.erase(twin) > 0) m_gone.insert(twin);
  m_returned.erase(twin);
}

std::string TCounterFacts::GoneOids() const {
  std::string list;
  for (const std::string& twin : m_gone) AppendItem(list, twin);
  return list;
}

bool TCounterFacts::TakeReturned(std::string_view twinOid) {
  if (m_returned.empty()) return false;
  return m_returned.erase(std::string(twinOid)) > 0;
}

bool TCounterFacts::WrappedOnce(const std::string& target, const std::string& suffix,
                                double elapsed, uint64_t unwrapped) const {
  // An interface octet counter that fell wrapped once when the interface could have sent that
  // much since (less time passed than one wrap takes at its speed, and the octets fit the
  // time); a counter that merely went back is no wrap.
  if (!IsInterfaceOctets(target)) return false;
  const double wrap = WrapSeconds(suffix);
  if (!(elapsed > 0 && elapsed < wrap)) return false;
  // Octets per second at full speed: 2^32 in one wrap. A quarter more for the poll's timing:
  // the agent reads its counters and its clock at slightly different moments.
  const double fullSpeed = kWrap / wrap;
  return static_cast<double>(unwrapped) <= fullSpeed * elapsed * 1.25;
}

std::string TCounterFacts::SpeedOids(const std::vector<TInstance>& rows) {
  std::string list;
  for (const TInstance& row : rows) AppendItem(list, kIfSpeed + row.Suffix);
  for (const TInstance& row : rows) AppendItem(list, kIfHighSpeed + row.Suffix);
  return list;
}

double TCounterFacts::LinkSpeed(const std::string& suffix) const {
  if (const auto high = m_highSpeed.find(suffix); high != m_highSpeed.end() && high->second > 0)
    return high->second;
  const auto speed = m_speed.find(suffix);
  return speed != m_speed.end() ? speed->second : 0;
}

double TCounterFacts::WrapSeconds(const std::string& suffix) const {
  double bps = 0;
  if (const auto speed = m_speed.find(suffix); speed != m_speed.end()) bps = speed->second;
  // ifSpeed stops at about 4.3 Gbit/s; ifHighSpeed says more where it is known.
  if (const auto high = m_highSpeed.find(suffix);
      high != m_highSpeed.end() && high->second > 0 && (bps == 0 || bps >= kSpeedCeiling))
    bps = high->second;
  return bps > 0 ? kWrap * 8 / bps : 0;
}

}  // namespace kestrava

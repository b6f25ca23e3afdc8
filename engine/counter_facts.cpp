#include "engine/counter_facts.h"

#include "shared/item_list.h"

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
std::string_view SuffixIn(std::string_view oid, const std::string& column) {
  if (oid.size() <= column.size() + 1 || oid.compare(0, column.size(), column) != 0 ||
      oid[column.size()] != '.')
    return {};
  return oid.substr(column.size());
}

}  // namespace

void TCounterFacts::Clear() {
  m_twins.clear();
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
    if (type == kCounter64) m_twins.insert(std::string(oid));
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

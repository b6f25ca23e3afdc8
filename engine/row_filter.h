#pragma once
// TRowFilter: which of the discovered instances a session polls. A row passes when its label
// matches the include pattern (if one is set) and not the exclude pattern (if one is set), its
// interface type is one of the types asked for (if any), and its interface is operationally up
// (when only those are asked for). Type and state are the interface table's ifType and
// ifOperStatus at the row's instance suffix (the rows are taken to be indexed by ifIndex),
// asked for once the instances are known; a row whose type or state the agent did not give
// fails a filter that needs it. Patterns are QRegularExpression, matched anywhere in the label.
// Thread: any for TRowFilter after construction; TRowFactsTable: the window's thread only.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/config_rec.h"
#include "engine/discovery.h"
#include "snmp/snmp_value.h"

class QRegularExpression;

namespace kestrava {

// A regular expression over labels (QRegularExpression), matched anywhere in the text. Held
// behind a pointer so that headers need none of Qt's (whose "slots" would clash with ours).
class TLabelPattern {
 public:
  TLabelPattern() = default;  // empty: matches every text
  TLabelPattern(const std::string& pattern, bool ignoreCase);
  bool Empty() const { return !m_expression; }
  bool Valid() const;
  bool Matches(const std::string& text) const;

 private:
  std::shared_ptr<const QRegularExpression> m_expression;
};

inline constexpr const char* kIfTypeColumn = "1.3.6.1.2.1.2.2.1.3";
inline constexpr const char* kIfOperStatusColumn = "1.3.6.1.2.1.2.2.1.8";
inline constexpr int kOperStatusUp = 1;

// What the agent said of one row's interface; 0 where it said nothing (both start at 1).
struct TRowFacts {
  int IfType = 0;
  int OperStatus = 0;
};

class TRowFilter {
 public:
  TRowFilter() = default;  // passes every row
  // The filters of a configuration. REQUIRES: its patterns compile (the configuration
  // checks them when it reads them).
  explicit TRowFilter(const TConfigRec& config);

  // Whether the filter may leave a row out at all.
  bool Any() const;
  // Whether a row's type or state is needed to judge it.
  bool NeedsFacts() const { return !m_ifTypes.empty() || m_upOnly; }
  // The OIDs to ask for the instances' type and state, as an item list; "" without the need.
  std::string FactOids(const std::vector<TInstance>& instances) const;
  bool Passes(const TInstance& row, const TRowFacts& facts) const;

 private:
  TLabelPattern m_include;
  TLabelPattern m_exclude;
  std::vector<int> m_ifTypes;
  bool m_upOnly = false;
};

// The type and state of the instances, as the agent answered for them.
class TRowFactsTable {
 public:
  void Clear() { m_facts.clear(); }
  // One binding of an answer: an INTEGER of ifType or ifOperStatus is learnt, anything else
  // (noSuchInstance, another column) is not.
  void Learn(std::string_view oid, const TSnmpValue& value);
  TRowFacts Of(const std::string& suffix) const;

 private:
  std::unordered_map<std::string, TRowFacts> m_facts;  // instance suffix -> facts
};

}  // namespace kestrava

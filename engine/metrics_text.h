#pragma once
// The Prometheus text exposition (format 0.0.4) of a session's polls. Names and labels follow
// the SNMP exporter's if_mib module, so that dashboards and queries written for it read ours
// unchanged: the MIB object's name (ifHCInOctets, ifOperStatus, ...), no prefix, no "_total";
// labels ifIndex and, where known, ifDescr, ifName and ifAlias. Another OID is named by the
// session's OID names where that gives a valid metric name, else by its dotted numbers under
// "kestrava_oid_". Values are written exactly as polled: a Counter64 keeps every digit.
// The program's own metrics carry the "kestrava_" prefix and Prometheus' own conventions.
// Thread: any; a TMetricsText is a plain value.

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/poll_snapshot.h"

namespace kestrava {

enum class TMetricType { kCounter, kGauge };

// An object of IF-MIB (ifTable, ifXTable) or the scalars the SNMP exporter's if_mib module reads.
struct TIfMibObject {
  std::string_view Oid;  // dotted, no leading dot; a column's OID without its instance
  std::string_view Name;
  TMetricType Type;
  bool Table;  // a column of ifTable or ifXTable, indexed by ifIndex
};
// The IF-MIB objects whose values are numbers, in OID order (the label columns are not among
// them: ifDescr, ifName and ifAlias become labels).
const std::vector<TIfMibObject>& IfMibObjects();
// The object whose OID is `oid` or a prefix of it at a "." boundary; nullptr when none is.
const TIfMibObject* FindIfMibObject(std::string_view oid);
// The label name that a label column's OID gives (ifDescr, ifName, ifAlias); "" for another.
std::string_view IfMibLabelName(std::string_view oid);

// [a-zA-Z_:][a-zA-Z0-9_:]*
bool ValidMetricName(std::string_view name);
// A label value as the format writes it between quotes: \ " and line breaks escaped, bytes that
// are not UTF-8 replaced (Prometheus refuses the whole scrape over one).
std::string EscapeLabelValue(std::string_view value);

struct TMetricLabel {
  std::string Name;
  std::string Value;
};

// The metrics of one scrape, grouped by family in the order they first appear; a series added
// twice (the same name and labels) keeps its first value.
class TMetricsText {
 public:
  // labels need not be sorted; value is the number as written ("12", "-3.5").
  void Add(std::string_view name, TMetricType type, std::string_view help,
           std::vector<TMetricLabel> labels, std::string value);

  // Every slot of a snapshot that has a value, each with its row's labels (rowLabels: more
  // labels per row, such as the exporter's ifName and ifAlias; may be shorter or empty).
  void AddSnapshot(const TPollSnapshot& snapshot,
                   const std::vector<std::vector<TMetricLabel>>& rowLabels = {});

  // The poller's own metrics from a snapshot: poll duration, requests, rows, last poll and error.
  void AddSessionMetrics(const TPollSnapshot& snapshot);

  // The exposition, families in order; every line ends in "\n".
  std::string Text() const;
  size_t SeriesCount() const { return m_series; }

 private:
  struct TFamily {
    std::string Name;
    TMetricType Type;
    std::string Help;
    std::string Lines;
    std::unordered_set<std::string> Seen;  // the label sets written
  };
  std::vector<TFamily> m_families;
  std::unordered_map<std::string, size_t> m_byName;
  size_t m_series = 0;
};

// The value of a sample as the format writes it; "" for a Null.
std::string MetricValueText(const TSample& sample);

}  // namespace kestrava

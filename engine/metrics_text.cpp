#include "engine/metrics_text.h"

#include <algorithm>
#include <cstdio>

namespace kestrava {

namespace {

constexpr TMetricType kC = TMetricType::kCounter;
constexpr TMetricType kG = TMetricType::kGauge;

// The number columns of ifTable (1.3.6.1.2.1.2.2.1) and ifXTable (1.3.6.1.2.1.31.1.1.1), and the
// two scalars the SNMP exporter's if_mib module reads; kept in OID order.
const std::vector<TIfMibObject> kIfMib = {
    {"1.3.6.1.2.1.1.3", "sysUpTime", kG, false},
    {"1.3.6.1.2.1.2.1", "ifNumber", kG, false},
    {"1.3.6.1.2.1.2.2.1.1", "ifIndex", kG, true},
    {"1.3.6.1.2.1.2.2.1.3", "ifType", kG, true},
    {"1.3.6.1.2.1.2.2.1.4", "ifMtu", kG, true},
    {"1.3.6.1.2.1.2.2.1.5", "ifSpeed", kG, true},
    {"1.3.6.1.2.1.2.2.1.7", "ifAdminStatus", kG, true},
    {"1.3.6.1.2.1.2.2.1.8", "ifOperStatus", kG, true},
    {"1.3.6.1.2.1.2.2.1.9", "ifLastChange", kG, true},
    {"1.3.6.1.2.1.2.2.1.10", "ifInOctets", kC, true},
    {"1.3.6.1.2.1.2.2.1.11", "ifInUcastPkts", kC, true},
    {"1.3.6.1.2.1.2.2.1.12", "ifInNUcastPkts", kC, true},
    {"1.3.6.1.2.1.2.2.1.13", "ifInDiscards", kC, true},
    {"1.3.6.1.2.1.2.2.1.14", "ifInErrors", kC, true},
    {"1.3.6.1.2.1.2.2.1.15", "ifInUnknownProtos", kC, true},
    {"1.3.6.1.2.1.2.2.1.16", "ifOutOctets", kC, true},
    {"1.3.6.1.2.1.2.2.1.17", "ifOutUcastPkts", kC, true},
    {"1.3.6.1.2.1.2.2.1.18", "ifOutNUcastPkts", kC, true},
    {"1.3.6.1.2.1.2.2.1.19", "ifOutDiscards", kC, true},
    {"1.3.6.1.2.1.2.2.1.20", "ifOutErrors", kC, true},
    {"1.3.6.1.2.1.2.2.1.21", "ifOutQLen", kG, true},
    {"1.3.6.1.2.1.31.1.1.1.2", "ifInMulticastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.3", "ifInBroadcastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.4", "ifOutMulticastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.5", "ifOutBroadcastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.6", "ifHCInOctets", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.7", "ifHCInUcastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.8", "ifHCInMulticastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.9", "ifHCInBroadcastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.10", "ifHCOutOctets", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.11", "ifHCOutUcastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.12", "ifHCOutMulticastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.13", "ifHCOutBroadcastPkts", kC, true},
    {"1.3.6.1.2.1.31.1.1.1.14", "ifLinkUpDownTrapEnable", kG, true},
    {"1.3.6.1.2.1.31.1.1.1.15", "ifHighSpeed", kG, true},
    {"1.3.6.1.2.1.31.1.1.1.16", "ifPromiscuousMode", kG, true},
    {"1.3.6.1.2.1.31.1.1.1.17", "ifConnectorPresent", kG, true},
    {"1.3.6.1.2.1.31.1.1.1.19", "ifCounterDiscontinuityTime", kG, true},
};

constexpr std::string_view kIfDescr = "1.3.6.1.2.1.2.2.1.2";
constexpr std::string_view kIfName = "1.3.6.1.2.1.31.1.1.1.1";
constexpr std::string_view kIfAlias = "1.3.6.1.2.1.31.1.1.1.18";

// `prefix` is `oid` or its start at a "." boundary.
bool OidPrefix(std::string_view prefix, std::string_view oid) {
  return oid.substr(0, prefix.size()) == prefix &&
         (oid.size() == prefix.size() || oid[prefix.size()] == '.');
}

bool NameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}

// The length of the UTF-8 sequence at text[i], or 0 when the bytes there are none.
size_t Utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t n = 0;
  uint32_t code = 0;
  if ((c & 0xE0) == 0xC0) {
    n = 2;
    code = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3;
    code = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4;
    code = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
  static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[n] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

std::string LabelSet(std::vector<TMetricLabel>& labels) {
  if (labels.empty()) return {};
  std::sort(labels.begin(), labels.end(),
            [](const TMetricLabel& a, const TMetricLabel& b) { return a.Name < b.Name; });
  std::string out = "{";
  for (const TMetricLabel& label : labels) {
    if (out.size() > 1) out += ',';
    out += label.Name;
    out += "=\"";
    out += EscapeLabelValue(label.Value);
    out += '"';
  }
  out += '}';
  return out;
}

// How a slot is named: its metric, its type when the MIB says it, and the instance label.
struct TSlotName {
  std::string Name;
  std::string Help;
  bool KnownType = false;
  TMetricType Type = kG;
  std::string IndexLabel;  // "ifIndex", "index"; "" none
  std::string Index;
};

std::string DottedName(std::string_view oid) {
  std::string name = "kestrava_oid_";
  for (char c : oid) name += c == '.' ? '_' : c;
  return name;
}

TSlotName NameSlot(const TSnapshotColumn& column, std::string_view polled,
                   std::string_view suffix) {
  TSlotName out;
  if (column.Formula) {
    out.Name = "kestrava_formula";
    out.Help = "The value of a formula of the session, by its label.";
    out.IndexLabel = "index";
    out.Index = suffix.empty() ? "" : std::string(suffix.substr(1));
    return out;
  }
  const std::string_view oid = polled.empty() ? std::string_view(column.Oid) : polled;
  if (const TIfMibObject* object = FindIfMibObject(oid)) {
    out.Name = object->Name;
    out.Help = "IF-MIB::" + std::string(object->Name) + " - " + std::string(object->Oid);
    out.KnownType = true;
    out.Type = object->Type;
    const std::string_view rest = oid.substr(std::min(oid.size(), object->Oid.size() + 1));
    if (object->Table) {
      out.IndexLabel = rest.find('.') == std::string_view::npos ? "ifIndex" : "index";
      out.Index = rest;
    }
    return out;
  }
  // Another object: the session's name for it; "name.3" names a column and an instance.
  std::string_view name = column.Name;
  std::string_view index = suffix.empty() ? std::string_view() : suffix.substr(1);
  if (const size_t dot = name.find('.'); dot != std::string_view::npos && suffix.empty()) {
    index = name.substr(dot + 1);
    name = name.substr(0, dot);
  }
  const bool own = name.substr(0, 9) == "kestrava_";
  if (ValidMetricName(name) && !own) {
    out.Name = name;
    out.Help = std::string(name) + " - " + column.Oid;
  } else {
    out.Name = DottedName(column.Oid);
    out.Help = column.Oid;
    index = suffix.empty() ? std::string_view() : suffix.substr(1);
  }
  // A scalar's ".0" is no row.
  if (!index.empty() && index != "0") {
    out.IndexLabel = "index";
    out.Index = index;
  }
  return out;
}

std::string SecondsText(double seconds) {
  char text[40];
  std::snprintf(text, sizeof text, "%.6f", seconds);
  return text;
}

}  // namespace

const std::vector<TIfMibObject>& IfMibObjects() {
  return kIfMib;
}

const TIfMibObject* FindIfMibObject(std::string_view oid) {
  for (const TIfMibObject& object : kIfMib) {
    if (OidPrefix(object.Oid, oid)) return &object;
  }
  return nullptr;
}

std::string_view IfMibLabelName(std::string_view oid) {
  if (oid == kIfDescr) return "ifDescr";
  if (oid == kIfName) return "ifName";
  if (oid == kIfAlias) return "ifAlias";
  return {};
}

bool ValidMetricName(std::string_view name) {
  if (name.empty() || !NameStart(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(),
                     [](char c) { return NameStart(c) || (c >= '0' && c <= '9'); });
}

std::string EscapeLabelValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    const char c = value[i];
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else if (const size_t n = Utf8Length(value, i); n == 0) {
      out += "\xEF\xBF\xBD";  // U+FFFD
    } else {
      out.append(value, i, n);
      i += n;
      continue;
    }
    ++i;
  }
  return out;
}

std::string MetricValueText(const TSample& sample) {
  if (sample.IsNull()) return {};
  if (sample.IsWhole()) return (sample.Negative() ? "-" : "") + std::to_string(sample.Magnitude());
  return sample.Text();
}

void TMetricsText::Add(std::string_view name, TMetricType type, std::string_view help,
                       std::vector<TMetricLabel> labels, std::string value) {
  auto [at, added] = m_byName.try_emplace(std::string(name), m_families.size());
  if (added) m_families.push_back(TFamily{std::string(name), type, std::string(help), {}, {}});
  TFamily& family = m_families[at->second];
  std::string set = LabelSet(labels);
  if (!family.Seen.insert(set).second) return;
  family.Lines += family.Name;
  family.Lines += set;
  family.Lines += ' ';
  family.Lines += value;
  family.Lines += '\n';
  ++m_series;
}

void TMetricsText::AddSnapshot(const TPollSnapshot& snapshot,
                               const std::vector<std::vector<TMetricLabel>>& rowLabels) {
  if (!snapshot.Layout) return;
  const TSnapshotLayout& layout = *snapshot.Layout;
  const size_t width = layout.Columns.size();
  const std::string_view labelName = IfMibLabelName(layout.LabelOid);
  std::vector<TMetricLabel> labels;
  // Columns first: a family's lines stand together, and a column is mostly one family.
  for (size_t c = 0; c < width; ++c) {
    const TSnapshotColumn& column = layout.Columns[c];
    for (size_t r = 0; r < layout.Rows.size(); ++r) {
      const size_t slot = r * width + c;
      if (slot >= snapshot.Slots.size()) break;
      const TSample& value = snapshot.Slots[slot].Value;
      if (value.IsNull()) continue;
      const TSnapshotRow& row = layout.Rows[r];
      const std::string_view polled =
          slot < layout.PolledOids.size() ? std::string_view(layout.PolledOids[slot]) : "";
      TSlotName name = NameSlot(column, polled, row.Suffix);
      const TMetricType type = name.KnownType ? name.Type
                               : (value.Type() == 0x41 || value.Type() == 0x46)
                                   ? TMetricType::kCounter
                                   : TMetricType::kGauge;
      labels.clear();
      if (!name.IndexLabel.empty()) labels.push_back({name.IndexLabel, name.Index});
      if (!layout.LabelOid.empty())
        labels.push_back({labelName.empty() ? "label" : std::string(labelName), row.Label});
      if (column.Formula) labels.push_back({"formula", column.Name});
      if (r < rowLabels.size())
        labels.insert(labels.end(), rowLabels[r].begin(), rowLabels[r].end());
      Add(name.Name, type, name.Help, labels, MetricValueText(value));
    }
  }
}

void TMetricsText::AddSessionMetrics(const TPollSnapshot& snapshot) {
  const TSessionCounters& counters = snapshot.Counters;
  Add("kestrava_poll_duration_seconds", kG,
      "Seconds the last poll took, from its first request to its evaluation.", {},
      SecondsText(counters.PollSeconds));
  Add("kestrava_requests_sent_total", kC, "SNMP requests sent, resends included.", {},
      std::to_string(counters.RequestsSent));
  Add("kestrava_requests_resent_total", kC, "SNMP requests that timed out and went again.", {},
      std::to_string(counters.Resent));
  Add("kestrava_requests_lost_total", kC, "SNMP requests that expired without an answer.", {},
      std::to_string(counters.Lost));
  Add("kestrava_rows", kG, "Rows polled.", {},
      std::to_string(snapshot.Layout ? snapshot.Layout->Rows.size() : 0));
  Add("kestrava_last_poll_timestamp_seconds", kG, "When the last poll was evaluated.", {},
      SecondsText(static_cast<double>(snapshot.TimeMs) / 1000));
  Add("kestrava_last_error", kG, "1 with the text of the last problem, 0 while there was none.",
      {{"message", counters.LastError}}, counters.LastError.empty() ? "0" : "1");
}

std::string TMetricsText::Text() const {
  std::string out;
  size_t size = 0;
  for (const TFamily& family : m_families) size += family.Lines.size() + family.Help.size() + 64;
  out.reserve(size);
  for (const TFamily& family : m_families) {
    out += "# HELP ";
    out += family.Name;
    out += ' ';
    // HELP text escapes only \ and line breaks.
    for (char c : family.Help) {
      if (c == '\\')
        out += "\\\\";
      else if (c == '\n')
        out += "\\n";
      else
        out += c;
    }
    out += "\n# TYPE ";
    out += family.Name;
    out += family.Type == TMetricType::kCounter ? " counter\n" : " gauge\n";
    out += family.Lines;
  }
  return out;
}

}  // namespace kestrava

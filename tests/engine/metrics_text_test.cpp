// The Prometheus text of a snapshot: the SNMP exporter's if_mib names and labels, exact
// counters, other OIDs named by the session or by their numbers, escaping, families together.
#include "engine/metrics_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "snmp/snmp_value.h"

namespace kestrava {
namespace {

constexpr int kCounter32 = 0x41;
constexpr int kGauge32 = 0x42;
constexpr int kCounter64 = 0x46;

struct Slot {
  std::string polled;
  std::string value;  // "" Null
  int type = kCounter32;
};

// A value as the codec hands it over, from its text in the table.
TSnmpValue Answered(const std::string& text, int type) {
  if (!IsNumericTag(type)) return TSnmpValue::Octets(type, text);
  const bool negative = text.front() == '-';
  return TSnmpValue::Number(type, std::stoull(text.substr(negative ? 1 : 0)), negative);
}

// A snapshot of rows x columns; slots are given row by row.
TPollSnapshot Snapshot(std::vector<TSnapshotColumn> columns, std::vector<TSnapshotRow> rows,
                       const std::vector<Slot>& slots, std::string labelOid) {
  auto layout = std::make_shared<TSnapshotLayout>();
  layout->Columns = std::move(columns);
  layout->Rows = std::move(rows);
  layout->LabelOid = std::move(labelOid);
  TPollSnapshot snapshot;
  for (const Slot& slot : slots) {
    layout->PolledOids.push_back(slot.polled);
    TSlotReading reading;
    if (!slot.value.empty()) reading.Value = TSample::FromAnswer(Answered(slot.value, slot.type));
    snapshot.Slots.push_back(reading);
  }
  snapshot.Layout = std::move(layout);
  return snapshot;
}

std::string Render(const TPollSnapshot& snapshot) {
  TMetricsText text;
  text.AddSnapshot(snapshot);
  return text.Text();
}

const std::string kIfInOctets = "1.3.6.1.2.1.2.2.1.10";
const std::string kIfHCIn = "1.3.6.1.2.1.31.1.1.1.6";
const std::string kIfDescr = "1.3.6.1.2.1.2.2.1.2";

TEST(MetricsTextTest, IfMibColumnsAreNamedAndLabelledAsTheSnmpExporterDoes) {
  // The window's default: ifInOctets labelled by ifDescr; row 2 polls its 64-bit twin, row 3
  // has no value yet.
  const TPollSnapshot snapshot =
      Snapshot({{kIfInOctets, "ifInOctets"}}, {{".1", "lo"}, {".2", "eth0"}, {".3", "eth1"}},
               {{kIfInOctets + ".1", "123"},
                {kIfHCIn + ".2", "18446744073709551615", kCounter64},
                {kIfInOctets + ".3", ""}},
               kIfDescr);
  EXPECT_EQ(Render(snapshot),
            "# HELP ifInOctets IF-MIB::ifInOctets - 1.3.6.1.2.1.2.2.1.10\n"
            "# TYPE ifInOctets counter\n"
            "ifInOctets{ifDescr=\"lo\",ifIndex=\"1\"} 123\n"
            "# HELP ifHCInOctets IF-MIB::ifHCInOctets - 1.3.6.1.2.1.31.1.1.1.6\n"
            "# TYPE ifHCInOctets counter\n"
            "ifHCInOctets{ifDescr=\"eth0\",ifIndex=\"2\"} 18446744073709551615\n");
}

TEST(MetricsTextTest, NamesOfSlots) {
  struct Case {
    const char* name;
    TSnapshotColumn column;
    TSnapshotRow row;
    Slot slot;
    std::string labelOid;
    std::string want;  // the series line
  };
  const Case cases[] = {
      {"gauge of ifXTable, label ifName",
       {"1.3.6.1.2.1.31.1.1.1.15", "x"},
       {".7", "ge-0/0/1"},
       {"1.3.6.1.2.1.31.1.1.1.15.7", "10000", kGauge32},
       "1.3.6.1.2.1.31.1.1.1.1",
       "ifHighSpeed{ifIndex=\"7\",ifName=\"ge-0/0/1\"} 10000"},
      {"a scalar has no labels",
       {"1.3.6.1.2.1.1.3.0", "sysUpTime.0"},
       {"", ""},
       {"1.3.6.1.2.1.1.3.0", "4711", 0x43},
       "",
       "sysUpTime 4711"},
      {"named by the session",
       {"1.3.6.1.4.1.9.9.1", "ciscoThing"},
       {".4.1", "a"},
       {"1.3.6.1.4.1.9.9.1.4.1", "9", kCounter32},
       "1.3.6.1.4.1.9.9.2",
       "ciscoThing{index=\"4.1\",label=\"a\"} 9"},
      {"no valid name: dotted",
       {"1.3.6.1.4.1.99.1", "my value"},
       {".2", ""},
       {"1.3.6.1.4.1.99.1.2", "-5", 0x02},
       "",
       "kestrava_oid_1_3_6_1_4_1_99_1{index=\"2\"} -5"},
      {"a name of ours is not taken",
       {"1.3.6.1.4.1.99.1", "kestrava_rows"},
       {".2", ""},
       {"1.3.6.1.4.1.99.1.2", "1", 0x02},
       "",
       "kestrava_oid_1_3_6_1_4_1_99_1{index=\"2\"} 1"},
      {"scalar named with its instance",
       {"1.3.6.1.4.1.99.3.0", "load.0"},
       {"", ""},
       {"1.3.6.1.4.1.99.3.0", "1.5", 0},
       "",
       "load 1.5"},
      {"formula by its label",
       {"a+b", "Sum \"in\"", true},
       {".1", "lo"},
       {"", "42", 0},
       kIfDescr,
       "kestrava_formula{formula=\"Sum \\\"in\\\"\",ifDescr=\"lo\",index=\"1\"} 42"},
  };
  for (const Case& c : cases) {
    const std::string text = Render(Snapshot({c.column}, {c.row}, {c.slot}, c.labelOid));
    EXPECT_NE(text.find("\n" + c.want + "\n"), std::string::npos) << c.name << "\n" << text;
  }
}

TEST(MetricsTextTest, TypeComesFromTheMibOrTheAnswersTag) {
  const auto type = [](TSnapshotColumn column, Slot slot) {
    const std::string text = Render(Snapshot({column}, {{".1", ""}}, {slot}, ""));
    const size_t at = text.find("# TYPE ");
    return text.substr(at, text.find('\n', at) - at);
  };
  // ifOperStatus is a gauge even though it is an INTEGER; another OID goes by its tag.
  EXPECT_EQ(type({"1.3.6.1.2.1.2.2.1.8", "ifOperStatus"}, {"1.3.6.1.2.1.2.2.1.8.1", "1", 2}),
            "# TYPE ifOperStatus gauge");
  EXPECT_EQ(type({"1.3.6.1.4.1.1.1", "c"}, {"1.3.6.1.4.1.1.1.1", "1", kCounter64}),
            "# TYPE c counter");
  EXPECT_EQ(type({"1.3.6.1.4.1.1.1", "g"}, {"1.3.6.1.4.1.1.1.1", "1", kGauge32}), "# TYPE g gauge");
}

TEST(MetricsTextTest, FamiliesStayTogetherAndASeriesIsWrittenOnce) {
  // Column 1 polls ifInOctets through its twin; column 2 polls ifHCInOctets itself: the same
  // series twice, and two families whose lines interleave by row.
  const TPollSnapshot snapshot =
      Snapshot({{kIfInOctets, "ifInOctets"}, {kIfHCIn, "ifHCInOctets"}}, {{".1", ""}, {".2", ""}},
               {{kIfHCIn + ".1", "10", kCounter64},
                {kIfHCIn + ".1", "11", kCounter64},
                {kIfInOctets + ".2", "20"},
                {kIfHCIn + ".2", "21", kCounter64}},
               "");
  EXPECT_EQ(Render(snapshot),
            "# HELP ifHCInOctets IF-MIB::ifHCInOctets - 1.3.6.1.2.1.31.1.1.1.6\n"
            "# TYPE ifHCInOctets counter\n"
            "ifHCInOctets{ifIndex=\"1\"} 10\n"
            "ifHCInOctets{ifIndex=\"2\"} 21\n"
            "# HELP ifInOctets IF-MIB::ifInOctets - 1.3.6.1.2.1.2.2.1.10\n"
            "# TYPE ifInOctets counter\n"
            "ifInOctets{ifIndex=\"2\"} 20\n");
}

TEST(MetricsTextTest, LabelValuesAreEscapedAndMadeUtf8) {
  struct Case {
    std::string value, want;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"a\"b\\c\nd", "a\\\"b\\\\c\\nd"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"bad \xFF end", "bad \xEF\xBF\xBD end"},
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {std::string("nul\0x", 5), std::string("nul\0x", 5)},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeLabelValue(c.value), c.want) << c.value;
}

TEST(MetricsTextTest, SessionMetricsCarryTheCountersAndTheLastError) {
  TPollSnapshot snapshot = Snapshot({{kIfInOctets, "ifInOctets"}}, {{".1", ""}, {".2", ""}},
                                    {{kIfInOctets + ".1", "1"}, {kIfInOctets + ".2", "2"}}, "");
  snapshot.Counters.RequestsSent = 7;
  snapshot.Counters.Resent = 2;
  snapshot.Counters.Lost = 1;
  snapshot.Counters.PollSeconds = 0.25;
  snapshot.TimeMs = 1700000000123;
  snapshot.Counters.LastError = "Timeout \"x\"";
  TMetricsText text;
  text.AddSessionMetrics(snapshot);
  const std::string out = text.Text();
  for (const char* line :
       {"kestrava_poll_duration_seconds 0.250000", "kestrava_requests_sent_total 7",
        "kestrava_requests_resent_total 2", "kestrava_requests_lost_total 1", "kestrava_rows 2",
        "kestrava_last_poll_timestamp_seconds 1700000000.123000",
        "kestrava_last_error{message=\"Timeout \\\"x\\\"\"} 1"})
    EXPECT_NE(out.find(std::string("\n") + line + "\n"), std::string::npos) << line << "\n" << out;
}

TEST(MetricsTextTest, ValidMetricNames) {
  for (const char* name : {"a", "_a", "a:b", "ifHCInOctets", "x9"})
    EXPECT_TRUE(ValidMetricName(name));
  for (const char* name : {"", "9a", "a-b", "a.b", "a b", "ä"}) EXPECT_FALSE(ValidMetricName(name));
}

}  // namespace
}  // namespace kestrava

// Side by side with Debian's SNMP exporter (0.21) on the same snmpd, with a hand-written
// snmp.yml for the if_mib columns: the same metric names, label sets and values. Counters move
// with the traffic of the scrapes themselves, so the SNMP exporter's reading must lie between
// two of ours taken around it.
#include <gtest/gtest.h>

#include <QProcess>
#include <fstream>
#include <map>
#include <string>

#include "../metrics_rig.h"
#include "app/exporter/exporter_service.h"
#include "prometheus_process.h"
#include "snmpd_process.h"
#include "temp_dir.h"

namespace kestrava {
namespace {

using testing::Fetch;
using testing::WaitFor;

// "name{sorted labels, empty ones left out}" -> value, for the series of the interface tables
// (the exporters' own metrics differ by design).
using Series = std::map<std::string, long double>;

Series Parse(const std::string& text) {
  Series out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#' || line.rfind("if", 0) != 0) continue;
    const size_t brace = line.find('{');
    const size_t space = line.rfind(' ');
    std::string key = line.substr(0, std::min(brace, space));
    std::map<std::string, std::string> labels;
    if (brace != std::string::npos) {
      size_t i = brace + 1;
      while (i < line.size() && line[i] != '}') {
        const size_t eq = line.find('=', i);
        const std::string name = line.substr(i, eq - i);
        std::string value;
        for (i = eq + 2; line[i] != '"'; ++i) {
          if (line[i] == '\\') ++i;
          value += line[i];
        }
        i += line[i + 1] == ',' ? 2 : 1;
        if (!value.empty()) labels[name] = value;
      }
    }
    key += "{";
    for (const auto& [name, value] : labels) key += name + "=" + value + ",";
    key += "}";
    out[key] = std::strtold(line.c_str() + space + 1, nullptr);
  }
  return out;
}

TEST(SnmpExporterPeerTest, SameNamesLabelsAndValuesAsDebiansSnmpExporter) {
  testing::SnmpdProcess snmpd;
  ASSERT_TRUE(snmpd.ok()) << snmpd.error();
  testing_files::TempDir dir("kestrava-side-by-side");
  const std::string config = (dir.path / "kestrava-exporter.yml").string();
  std::ofstream(config) << "modules:\n  if_mib:\n    auth: {community: cobalt}\n"
                           "    metrics: [ifMtu, ifOperStatus, ifInOctets, ifOutOctets, "
                           "ifHCInOctets, ifHCOutOctets, ifHighSpeed]\n";
  TExporterConfig ours = DefaultExporterConfig();
  std::string error;
  ASSERT_TRUE(LoadExporterConfig(config, ours, error)) << error;
  TExporter exporter(ours, [](TLogLevel, const std::string&) {});
  const int ourPort = testing::FreeTcpPort();
  ASSERT_EQ(exporter.Listen({"127.0.0.1", ourPort}), "");

  const int theirPort = testing::FreeTcpPort();
  QProcess theirs;
  theirs.start("prometheus-snmp-exporter",
               {"--config.file=" + QString(KESTRAVA_SOURCE_DIR) + "/tests/app/exporter/snmp.yml",
                "--web.listen-address=127.0.0.1:" + QString::number(theirPort)});
  const std::string theirRoot = "http://127.0.0.1:" + std::to_string(theirPort) + "/";
  ASSERT_TRUE(WaitFor([&] { return Fetch(theirRoot).exitCode == 0; }, 20000))
      << theirs.readAllStandardError().toStdString();

  const std::string query = "snmp?module=if_mib&target=" + snmpd.peer();
  const std::string ourUrl = "http://127.0.0.1:" + std::to_string(ourPort) + "/" + query;
  Fetch(ourUrl);  // the walk of the rows, kept from now on
  const Series before = Parse(Fetch(ourUrl).body);
  const Series their = Parse(Fetch(theirRoot + query).body);
  const Series after = Parse(Fetch(ourUrl).body);
  theirs.terminate();
  theirs.waitForFinished();

  // Seven columns of every interface of this machine, lo at least.
  ASSERT_GE(their.size(), 7u);
  EXPECT_EQ(their.size() % 7, 0u);
  EXPECT_EQ(their.count("ifHCInOctets{ifDescr=lo,ifIndex=1,ifName=lo,}"), 1u);
  // The same series: names and label sets.
  std::vector<std::string> ourKeys, theirKeys;
  for (const auto& [key, value] : before) ourKeys.push_back(key);
  for (const auto& [key, value] : their) theirKeys.push_back(key);
  EXPECT_EQ(ourKeys, theirKeys);
  for (const auto& [key, value] : their) {
    if (before.count(key) == 0 || after.count(key) == 0) continue;
    const long double low = before.at(key), high = after.at(key);
    // Gauges stand still; counters only grow, and theirs was read between our two readings.
    EXPECT_TRUE(low <= value && value <= high)
        << key << ": " << value << " not in [" << low << ", " << high << "]";
  }
}

}  // namespace
}  // namespace kestrava

// kestrava-exporter's configuration file, allow-list, target syntax and scrape time-out.
#include "app/exporter/exporter_config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "app/exporter/exporter_service.h"
#include "temp_dir.h"

namespace kestrava {
namespace {

struct Loaded {
  bool ok = false;
  std::string error;
  TExporterConfig config = DefaultExporterConfig();
};

Loaded Load(const std::string& yaml) {
  testing_files::TempDir dir("kestrava-exporter-config");
  const std::string path = (dir.path / "exporter.yml").string();
  std::ofstream(path) << yaml;
  Loaded out;
  out.ok = LoadExporterConfig(path, out.config, out.error);
  if (!out.ok) out.error = out.error.substr(out.error.find(": ") + 2);
  return out;
}

TEST(ExporterConfigTest, WithoutAFileIfMibPollsLoopbackWithPublic) {
  const TExporterConfig config = DefaultExporterConfig();
  ASSERT_EQ(config.Modules.count("if_mib"), 1u);
  const TExporterModule& module = config.Modules.at("if_mib");
  EXPECT_EQ(module.SnmpVersion, 2);
  EXPECT_EQ(module.Community, "public");
  // The counters and gauges of both tables, the label columns not among them.
  const auto has = [&](const std::string& oid) {
    return std::find(module.Columns.begin(), module.Columns.end(), oid) != module.Columns.end();
  };
  EXPECT_TRUE(has("1.3.6.1.2.1.31.1.1.1.6"));    // ifHCInOctets
  EXPECT_TRUE(has("1.3.6.1.2.1.2.2.1.8"));       // ifOperStatus
  EXPECT_TRUE(has("1.3.6.1.2.1.31.1.1.1.15"));   // ifHighSpeed
  EXPECT_FALSE(has("1.3.6.1.2.1.2.2.1.2"));      // ifDescr
  EXPECT_FALSE(has("1.3.6.1.2.1.31.1.1.1.18"));  // ifAlias
  const struct {
    const char* address;
    bool allowed;
  } cases[] = {{"127.0.0.1", true}, {"127.8.9.10", true},       {"::1", true},
               {"10.0.0.1", false}, {"::ffff:127.0.0.1", true}, {"::ffff:10.0.0.1", false},
               {"fe80::1", false},  {"0.0.0.0", false}};
  for (const auto& c : cases)
    EXPECT_EQ(TargetAllowed(config, QHostAddress(c.address)), c.allowed) << c.address;
}

TEST(ExporterConfigTest, ModulesCredentialsAndNetworks) {
  const Loaded loaded = Load(
      "modules:\n"
      "  core:\n"
      "    version: 3\n"
      "    auth: {username: ops, security_level: authPriv, auth_protocol: SHA, password: "
      "secret123, priv_protocol: AES, priv_password: secret456, context_name: ctx}\n"
      "    metrics: [ifHCInOctets, ifHCOutOctets, 1.3.6.1.4.1.9.2.2.1.1.6]\n"
      "    timeout: 500ms\n"
      "    retries: 1\n"
      "  if_mib:\n"
      "    auth: {community: s3cret}\n"
      "allowed_targets: [10.0.0.0/8, '2001:db8::/32']\n"
      "rewalk_interval: 10m\n"
      "max_targets: 500\n");
  ASSERT_TRUE(loaded.ok) << loaded.error;
  const TExporterModule& core = loaded.config.Modules.at("core");
  EXPECT_EQ(core.SnmpVersion, 3);
  EXPECT_EQ(core.V3.User, "ops");
  EXPECT_EQ(core.V3.SecurityLevel, "authPriv");
  EXPECT_EQ(core.V3.AuthPassword, "secret123");
  EXPECT_EQ(core.V3.PrivProtocol, "AES");
  EXPECT_EQ(core.V3.ContextName, "ctx");
  EXPECT_EQ(core.Columns,
            (std::vector<std::string>{"1.3.6.1.2.1.31.1.1.1.6", "1.3.6.1.2.1.31.1.1.1.10",
                                      "1.3.6.1.4.1.9.2.2.1.1.6"}));
  EXPECT_EQ(core.TimeoutMs, 500);
  EXPECT_EQ(core.Retries, 1);
  // A module named if_mib starts from the built-in one.
  const TExporterModule& ifMib = loaded.config.Modules.at("if_mib");
  EXPECT_EQ(ifMib.Community, "s3cret");
  EXPECT_EQ(ifMib.Columns, BuiltInIfMib().Columns);
  EXPECT_EQ(loaded.config.RewalkSeconds, 600);
  EXPECT_EQ(loaded.config.MaxTargets, 500u);
  // The file's networks take the place of loopback.
  EXPECT_TRUE(TargetAllowed(loaded.config, QHostAddress("10.1.2.3")));
  EXPECT_TRUE(TargetAllowed(loaded.config, QHostAddress("2001:db8::5")));
  EXPECT_FALSE(TargetAllowed(loaded.config, QHostAddress("127.0.0.1")));
}

TEST(ExporterConfigTest, FilesThatCannotBeUsedSayWhy) {
  const struct {
    const char* yaml;
    const char* why;
  } cases[] = {
      {"modules: [", "end of sequence"},
      {"modules:\n  m:\n    version: 4\n    metrics: [ifInOctets]\n", "version 4 is not 1, 2 or 3"},
      {"modules:\n  m:\n    version: 3\n    metrics: [ifInOctets]\n", "SNMPv3 needs auth.username"},
      {"modules:\n  m:\n    metrics: [ifInOctetz]\n", "\"ifInOctetz\" is neither"},
      {"modules:\n  m:\n    version: 3\n    metrics: [ifInOctets]\n    auth: {username: u, "
       "auth_protocol: SHA-999, password: longenough}\n",
       "module m: "},
      {"modules:\n  m:\n    version: 3\n    metrics: [ifInOctets]\n    auth: {username: u, "
       "password: short}\n",
       "shorter than 8 characters"},
      {"modules:\n  m:\n    version: 2\n", "polls nothing"},
      {"allowed_targets: [10.0.0.0/33]\n", "\"10.0.0.0/33\" is no network"},
      {"rewalk_interval: 0s\n", "below 1s"},
  };
  for (const auto& c : cases) {
    const Loaded loaded = Load(c.yaml);
    EXPECT_FALSE(loaded.ok) << c.yaml;
    EXPECT_NE(loaded.error.find(c.why), std::string::npos) << c.yaml << " -> " << loaded.error;
  }
}

TEST(ExporterConfigTest, TargetsAndTimeouts) {
  const struct {
    const char* target;
    bool ok;
    const char* host;
    int port;
  } targets[] = {
      {"127.0.0.1", true, "127.0.0.1", 161},
      {"127.0.0.1:1161", true, "127.0.0.1", 1161},
      {"[::1]:1161", true, "::1", 1161},
      {"::1", true, "::1", 161},
      {"[::1]", true, "::1", 161},
      {"switch.example:161", true, "switch.example", 161},
      {"host:", false, "", 0},
      {":161", false, "", 0},
      {"host:0", false, "", 0},
      {"host:65536", false, "", 0},
      {"host:+5", false, "", 0},
      {"[::1]x", false, "", 0},
      {"[::1:161", false, "", 0},
      {"[::1]:", false, "", 0},
  };
  for (const auto& c : targets) {
    QString host;
    int port = 0;
    EXPECT_EQ(TExporter::SplitTarget(c.target, host, port), c.ok) << c.target;
    if (!c.ok) continue;
    EXPECT_EQ(host.toStdString(), c.host) << c.target;
    EXPECT_EQ(port, c.port) << c.target;
  }
  const struct {
    const char* header;
    double seconds;
  } timeouts[] = {{"", 10},  {"10", 9.75}, {"0.5", 0.25}, {"0.2", 0.1},
                  {"x", 10}, {"-3", 10},   {"1e9", 300}};
  for (const auto& c : timeouts)
    EXPECT_DOUBLE_EQ(TExporter::ScrapeSeconds(c.header), c.seconds) << c.header;
}

}  // namespace
}  // namespace kestrava

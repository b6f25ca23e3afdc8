// The example files point at columns a real agent serves: walking each file's label column
// finds instances, every target answers for them with a counter, and the preferred instance
// of the AT RUNTIME example is among them.
#include <gtest/gtest.h>

#include <sstream>

#include "config/load_xml_config.h"
#include "shared/oid_names.h"
#include "snmpd_process.h"

namespace kestrava {
namespace {

using testing::RunCommand;
using testing::SnmpdProcess;

struct Row {
  std::string oid;
  std::string value;
};

// Numeric OIDs, one "OID = TYPE: value" line per object.
std::vector<Row> Snmp(const SnmpdProcess& agent, const TRequest& session, const char* tool,
                      const std::string& oids) {
  const std::string version = session.SnmpVersion == 2 ? "2c" : "1";
  int status = -1;
  const std::string out =
      RunCommand(std::string(tool) + " -On -v" + version + " -c " + session.Community +
                     " -t 2 -r 1 " + agent.peer() + " " + oids + " 2>&1",
                 &status);
  EXPECT_EQ(status, 0) << out;
  std::vector<Row> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t eq = line.find(" = ");
    if (line.empty() || line[0] != '.' || eq == std::string::npos) continue;
    rows.push_back({line.substr(1, eq - 1), line.substr(eq + 3)});
  }
  return rows;
}

TEST(ExamplesPeer, ExamplesMatchARealAgent) {
  SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  for (const char* name : {"top-receivers.xml", "top-senders.xml", "bits-per-second.xml",
                           "one-interface-at-runtime.xml", "ethernet-up.xml"}) {
    TConfigRec cfg;
    TRequest session;
    session.Community = "cobalt";
    ASSERT_TRUE(LoadXmlConfig(std::string(KESTRAVA_SOURCE_DIR) + "/examples/" + name, cfg, session,
                              [](const std::string& text) { FAIL() << text; }));
    EXPECT_EQ(session.Community, "cobalt") << name;

    std::vector<std::string> suffixes;
    for (const Row& row : Snmp(agent, session, "snmpwalk", cfg.LabelOid)) {
      ASSERT_EQ(row.oid.rfind(cfg.LabelOid + ".", 0), 0u) << name << ": " << row.oid;
      suffixes.push_back(row.oid.substr(cfg.LabelOid.size()));
    }
    ASSERT_FALSE(suffixes.empty()) << name << ": the label column is empty";

    for (const std::string& target : cfg.TargetOids) {
      const std::vector<Row> rows = Snmp(agent, session, "snmpget", target + suffixes.front());
      ASSERT_EQ(rows.size(), 1u) << name;
      EXPECT_EQ(rows[0].value.rfind("Counter32: ", 0), 0u) << name << ": " << rows[0].value;
    }
    if (!cfg.PreferredInstance.empty()) {
      EXPECT_NE(std::find(suffixes.begin(), suffixes.end(), "." + cfg.PreferredInstance),
                suffixes.end())
          << name << ": no interface " << cfg.PreferredInstance;
    }
  }
}

}  // namespace
}  // namespace kestrava

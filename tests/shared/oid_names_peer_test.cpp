// Cross-checks the built-in OID names against pysnmp's compiled MIB modules (Debian's
// python3-pysnmp4, seen by /usr/bin/python3) and against a real net-snmp agent.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "shared/oid_names.h"
#include "snmpd_process.h"

namespace kestrava {
namespace {

using testing::RunCommand;

// pysnmp exports RFC1213-MIB's tcpInSegs under a misspelt name.
const std::map<std::string, std::string> kPysnmpAliases = {{"TtcpInSegs", "tcpInSegs"}};

// Rows pysnmp's stripped-down RFC1213-MIB leaves to IF-MIB, IP-MIB, TCP-MIB and UDP-MIB, which
// it does not ship (it keeps the group node "ip" unexported). The agent check below covers the
// interface table.
// clang-format off
const std::set<std::string> kNotInPysnmp = {
    "interfaces", "ip", "icmp", "tcp", "udp",
    "ifNumber", "ifTable", "ifEntry", "ifIndex", "ifDescr", "ifType", "ifMtu", "ifSpeed",
    "ifPhysAddress", "ifAdminStatus", "ifOperStatus", "ifLastChange", "ifInOctets",
    "ifInUcastPkts", "ifInNUcastPkts", "ifInDiscards", "ifInErrors", "ifInUnknownProtos",
    "ifOutOctets", "ifOutUcastPkts", "ifOutNUcastPkts", "ifOutDiscards", "ifOutErrors",
    "ifOutQLen", "ifSpecific"};
// clang-format on

TEST(OidNamesPeerTest, BuiltInRowsAgreeWithPysnmp) {
  int status = -1;
  const std::string listing =
      RunCommand("/usr/bin/python3 " KESTRAVA_SOURCE_DIR "/tests/shared/mib_oids.py 2>&1", &status);
  ASSERT_EQ(status, 0) << listing;

  std::map<std::string, std::string> pysnmpOids;  // name -> OID
  std::istringstream lines(listing);
  std::string name, oid;
  while (lines >> name >> oid) {
    const auto alias = kPysnmpAliases.find(name);
    pysnmpOids[alias == kPysnmpAliases.end() ? name : alias->second] = oid;
  }
  ASSERT_GT(pysnmpOids.size(), 150u) << listing;

  const TOidNames names;
  std::set<std::string> unknown;
  for (const TOIDRec& row : names.Rows()) {
    const auto it = pysnmpOids.find(row.Name);
    if (it == pysnmpOids.end()) {
      unknown.insert(row.Name);
      continue;
    }
    EXPECT_EQ(row.Oid, it->second) << row.Name;
  }
  EXPECT_EQ(unknown, kNotInPysnmp);
  // The group nodes pysnmp lacks are the parents of their groups' first objects.
  std::map<std::string, std::string> oidOf;
  for (const TOIDRec& row : names.Rows()) oidOf[row.Name] = row.Oid;
  const std::pair<const char*, const char*> groups[] = {{"ip", "ipForwarding"},
                                                        {"icmp", "icmpInMsgs"},
                                                        {"tcp", "tcpRtoAlgorithm"},
                                                        {"udp", "udpInDatagrams"}};
  for (const auto& [group, first] : groups) EXPECT_EQ(oidOf[group] + ".1", pysnmpOids[first]);
  // The other way round: every pysnmp object below an OID of ours that we name carries our name.
  for (const auto& [pysnmpName, pysnmpOid] : pysnmpOids) {
    const std::string ours = names.Name(pysnmpOid);
    if (!ours.empty()) {
      EXPECT_EQ(ours, pysnmpName) << pysnmpOid;
    }
  }
}

// The value of one object on the agent, as net-snmp's snmpget prints it (value only).
std::string AgentValue(const testing::SnmpdProcess& agent, const std::string& oid) {
  std::string value =
      RunCommand("snmpget -v2c -c cobalt -On -Oqv -t 2 -r 1 " + agent.peer() + " " + oid + " 2>&1");
  while (!value.empty() && (value.back() == '\n' || value.back() == ' ')) value.pop_back();
  return value;
}

TEST(OidNamesPeerTest, InterfaceNamesPointAtTheAgentsInterfaceTable) {
  testing::SnmpdProcess agent;
  ASSERT_TRUE(agent.ok()) << agent.error();
  const TOidNames names;
  // The loopback interface: its index, name, type 24 (softwareLoopback) and MTU, read through
  // the OIDs the table gives those names.
  const struct {
    const char* name;
    const char* value;
  } columns[] = {{"ifIndex", "1"},      {"ifDescr", "\"lo\""},   {"ifType", "24"},
                 {"ifMtu", "65536"},    {"ifSpeed", "10000000"}, {"ifAdminStatus", "1"},
                 {"ifOperStatus", "1"}, {"ifSpecific", ".0.0"}};
  std::map<std::string, std::string> oidOf;
  for (const TOIDRec& row : names.Rows()) oidOf[row.Name] = row.Oid;
  for (const auto& column : columns) {
    EXPECT_EQ(AgentValue(agent, oidOf[column.name] + ".1"), column.value) << column.name;
  }
  // ifNumber.0 counts the rows of the ifIndex column.
  const std::string number = AgentValue(agent, oidOf["ifNumber"] + ".0");
  const std::string walk = RunCommand("snmpwalk -v2c -c cobalt -On -Oq -t 2 -r 1 " + agent.peer() +
                                      " " + oidOf["ifIndex"] + " 2>&1");
  int rows = 0;
  for (char c : walk) rows += c == '\n';
  EXPECT_EQ(number, std::to_string(rows)) << walk;
  EXPECT_EQ(oidOf["interfaces"] + ".1", oidOf["ifNumber"]);
  EXPECT_EQ(oidOf["interfaces"] + ".2", oidOf["ifTable"]);
  EXPECT_EQ(oidOf["ifTable"] + ".1", oidOf["ifEntry"]);
}

}  // namespace
}  // namespace kestrava

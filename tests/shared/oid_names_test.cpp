#include "shared/oid_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kestrava {
namespace {

class OidNamesTest : public ::testing::Test {
 protected:
  TOidNames names;
};

TEST_F(OidNamesTest, BuiltInRowsAreTheManagementTreeAndMibTwo) {
  EXPECT_EQ(names.Count(), 210);
  const struct {
    const char* oid;
    const char* name;
  } cases[] = {
      {"1", "iso"},
      {"1.3", "org"},
      {"1.3.6", "dod"},
      {"1.3.6.1", "internet"},
      {"1.3.6.1.2", "mgmt"},
      {"1.3.6.1.2.1", "mib-2"},
      {"1.3.6.1.2.1.2", "interfaces"},
      {"1.3.6.1.2.1.2.2.1.10", "ifInOctets"},
      {"1.3.6.1.2.1.10", "transmission"},
      {"1.3.6.1.2.1.11.30", "snmpEnableAuthenTraps"},
      {"1.3.6.1.4.1", "enterprises"},
      {"1.3.6.1.2.1.11.7", ""},   // left unused by MIB-II
      {"1.3.6.1.2.1.11.23", ""},  // left unused by MIB-II
      {".1.3.6.1", ""},           // a leading dot makes a different key
      {"1.3.6.1.", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(names.Name(c.oid), c.name) << c.oid;
}

TEST_F(OidNamesTest, OidToSymbolNamesTheLongestRegisteredPrefix) {
  const struct {
    const char* oid;
    const char* symbol;
  } cases[] = {
      {"1.3.6.1.2.1.2.2.1.10", "ifInOctets"},
      {"1.3.6.1.2.1.2.2.1.10.3", "ifInOctets.3"},
      {"1.3.6.1.2.1.2.2.1.1", "ifIndex"},
      {"1.3.6.1.2.1.2.2.1.10.3.4", "ifInOctets.3.4"},
      {"1.3.6.1.4.1.99999.2.1", "enterprises.99999.2.1"},
      {"1.3.6.1.2.1.11.23.0", "snmp.23.0"},
      {"1.3.6.1.2.1.2.2.1.100", "ifEntry.100"},  // components compare whole, "10" is no prefix
      {"2.5.4", ".5.4"},                         // nothing registered: the first component is lost
      {"7", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(names.Symbol(c.oid), c.symbol) << c.oid;
}

TEST_F(OidNamesTest, RegisterReplacesAnExistingNameOrAppends) {
  names.Register("1.3.6.1.2.1.2.2.1.10", "Bytes in");
  EXPECT_EQ(names.Count(), 210);
  EXPECT_EQ(names.Symbol("1.3.6.1.2.1.2.2.1.10"), "Bytes in");
  EXPECT_EQ(names.Symbol("1.3.6.1.2.1.2.2.1.10.7"), "Bytes in.7");

  names.Register("1.3.6.1.4.1.99999.1", "Load");
  EXPECT_EQ(names.Count(), 211);
  EXPECT_EQ(names.Symbol("1.3.6.1.4.1.99999.1.1"), "Load.1");

  names.Register("1.3.6.1.4.1.99999.1", "load");  // case matters for names, not keys
  EXPECT_EQ(names.Count(), 211);
  EXPECT_EQ(names.Name("1.3.6.1.4.1.99999.1"), "load");
}

TEST_F(OidNamesTest, AnEmptyNameCountsAsNoName) {
  // The search goes on above a row whose name is empty.
  names.Register("1.3.6.1.4.1.99999", "");
  EXPECT_EQ(names.Symbol("1.3.6.1.4.1.99999.5"), "enterprises.99999.5");
}

TEST_F(OidNamesTest, EachTableKeepsItsOwnNames) {
  // Two sessions name the same column differently; neither sees the other's name, and a new
  // table starts from the built-in rows alone.
  TOidNames other;
  names.Register("1.3.6.1.2.1.2.2.1.10", "Bytes in");
  other.Register("1.3.6.1.2.1.2.2.1.10", "Octets received");
  other.Register("1.3.6.1.4.1.99999.1", "Load");
  EXPECT_EQ(names.Symbol("1.3.6.1.2.1.2.2.1.10.3"), "Bytes in.3");
  EXPECT_EQ(other.Symbol("1.3.6.1.2.1.2.2.1.10.3"), "Octets received.3");
  EXPECT_EQ(names.Name("1.3.6.1.4.1.99999.1"), "");
  EXPECT_EQ(names.Count(), 210);
  EXPECT_EQ(other.Count(), 211);
  EXPECT_EQ(TOidNames().Name("1.3.6.1.2.1.2.2.1.10"), "ifInOctets");
}

TEST_F(OidNamesTest, BuiltInRowsFormOneTreeWithoutDuplicates) {
  // 210 distinct keys (a duplicate would have replaced a row), every one reachable from "1"
  // Walk every child number 1..30 below every known row: each row reached once, none missed.
  std::set<std::string> reached = {"1"};
  std::vector<std::string> frontier = {"1"};
  while (!frontier.empty()) {
    const std::string parent = frontier.back();
    frontier.pop_back();
    for (int child = 1; child <= 30; ++child) {
      const std::string oid = parent + "." + std::to_string(child);
      if (names.Name(oid).empty()) continue;
      EXPECT_TRUE(reached.insert(oid).second) << oid;
      frontier.push_back(oid);
    }
  }
  EXPECT_EQ(reached.size(), 210u);
}

}  // namespace
}  // namespace kestrava

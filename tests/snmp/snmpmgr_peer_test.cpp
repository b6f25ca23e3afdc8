// TSnmpMgr and kestrava-snmp against a real net-snmp agent on 127.0.0.1: get, get-next and
// walks in both versions, the agents' missing-object answers, the command's output beside
// snmpwalk's, and SNMPv3 discovery and authenticated requests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snmp/snmpmgr.h"
#include "snmpd_process.h"
#include "snmpmgr_test_util.h"

namespace kestrava {
namespace {

using ::kestrava::testing::ErrorOf;
using ::kestrava::testing::RunCommand;
using ::kestrava::testing::SnmpdProcess;
using ::kestrava::testing::WaitFor;

const char kIfDescr[] = "1.3.6.1.2.1.2.2.1.2";
const char kSysDescr0[] = "1.3.6.1.2.1.1.1.0";

// A blocking manager aimed at the agent.
void Aim(TSnmpMgr& mgr, const SnmpdProcess& agent, int version) {
  mgr.SetLocalPort(0);
  mgr.SetRemoteHost(agent.host());
  mgr.SetRemotePort(agent.port());
  mgr.SetSNMPVersion(version);
  mgr.SetTimeout(5);
}

void Ask(TSnmpMgr& mgr, const std::string& oid) {
  mgr.Reset();
  mgr.SetObjCount(1);
  mgr.SetObjId(1, oid);
}

class SnmpdTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { agent = new SnmpdProcess(); }
  static void TearDownTestSuite() {
    delete agent;
    agent = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(agent->ok()) << agent->error(); }

  static SnmpdProcess* agent;
};
SnmpdProcess* SnmpdTest::agent = nullptr;

// The lines of net-snmp's tools and of ours for the same request.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Tool() {
  return std::string(KESTRAVA_BINARY_DIR) + "/bin/kestrava-snmp";
}

TEST_F(SnmpdTest, GetAndWalkTheInterfaceTableInBothVersions) {
  // net-snmp's own walk is the reference.
  const std::string reference =
      RunCommand("snmpwalk -On -Oq -v2c -c cobalt " + agent->peer() + " " + kIfDescr);
  const std::vector<std::string> lines = Lines(reference);
  ASSERT_FALSE(lines.empty());
  for (int version : {1, 2}) {
    TSnmpMgr mgr;
    Aim(mgr, *agent, version);
    std::vector<std::string> walked;
    std::string current = kIfDescr;
    for (;;) {
      Ask(mgr, current);
      mgr.SendGetNextRequest();
      if (mgr.ErrorStatus() != 0 || mgr.ObjType(1) == 0x82) break;
      const std::string oid = mgr.ObjId(1);
      if (oid.rfind(std::string(kIfDescr) + ".", 0) != 0) break;
      walked.push_back("." + oid + " \"" + mgr.ObjValue(1) + "\"");
      current = oid;
    }
    EXPECT_EQ(walked, lines) << "version " << version;

    Ask(mgr, kSysDescr0);
    mgr.SendGetRequest();
    EXPECT_EQ(mgr.ErrorStatus(), 0);
    EXPECT_EQ(mgr.ObjType(1), 4);
    EXPECT_EQ("\"" + mgr.ObjValue(1) + "\"\n",
              RunCommand("snmpget -Oqv -v2c -c cobalt " + agent->peer() + " " + kSysDescr0));
  }
}

TEST_F(SnmpdTest, MissingObjectsInBothVersions) {
  TSnmpMgr mgr;
  Aim(mgr, *agent, 1);
  Ask(mgr, "1.3.6.1.2.1.1.1.99");
  mgr.SendGetRequest();
  EXPECT_EQ(mgr.ErrorStatus(), 2);
  EXPECT_EQ(mgr.ErrorIndex(), 1);
  EXPECT_EQ(mgr.ErrorDescription(), "noSuchName");

  mgr.SetSNMPVersion(2);
  Ask(mgr, "1.3.6.1.2.1.1.1.99");
  mgr.SendGetRequest();
  EXPECT_EQ(mgr.ErrorStatus(), 0);
  EXPECT_EQ(mgr.ObjType(1), 0x81);
  EXPECT_EQ(mgr.ObjValue(1), "error: noSuchInstance");
}

TEST_F(SnmpdTest, AsynchronousGetFiresOnResponse) {
  TSnmpMgr mgr;
  Aim(mgr, *agent, 2);
  mgr.SetTimeout(0);
  std::string value;
  mgr.OnResponse = [&](TSnmpMgr& m, int, int, const std::string& community, const std::string&, int,
                       const std::string&, int, int, int, const std::string&) {
    EXPECT_EQ(community, "cobalt");
    value = m.ObjValue(1);
  };
  Ask(mgr, kSysDescr0);
  mgr.SendGetRequest();
  EXPECT_TRUE(WaitFor([&] { return !value.empty(); }));
}

TEST_F(SnmpdTest, CommandWalkMatchesSnmpwalk) {
  // Columns whose values hold still between two walks: labels, types, sizes, addresses.
  for (const char* column : {"1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.2.2.1.3", "1.3.6.1.2.1.2.2.1.4",
                             "1.3.6.1.2.1.2.2.1.6", "1.3.6.1.2.1.4.20", "1.3.6.1.2.1.1.2"}) {
    for (const char* version : {"1", "2c"}) {
      int status = -1;
      const std::string ours = RunCommand(
          Tool() + " walk -v " + version + " -c cobalt " + agent->peer() + " " + column, &status);
      EXPECT_EQ(status, 0);
      const std::string theirs = RunCommand(std::string("snmpwalk -On -v ") + version +
                                            " -c cobalt " + agent->peer() + " " + column);
      EXPECT_FALSE(ours.empty()) << column;
      EXPECT_EQ(ours, theirs) << column << " v" << version;
    }
  }
  int status = -1;
  const std::string ours =
      RunCommand(Tool() + " get -c cobalt " + agent->peer() + " 1.3.6.1.2.1.1.1.0", &status);
  EXPECT_EQ(ours, RunCommand("snmpget -On -v2c -c cobalt " + agent->peer() + " 1.3.6.1.2.1.1.1.0"));
}

TEST_F(SnmpdTest, CommandReportsErrorsOnStandardError) {
  int status = 0;
  const std::string out = RunCommand(
      Tool() + " get -v 1 -c cobalt " + agent->peer() + " 1.3.6.1.2.1.1.1.99 2>&1", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("noSuchName"), std::string::npos) << out;
  const std::string timeout = RunCommand(
      Tool() + " get -c wrong -t 0.2 -r 1 " + agent->peer() + " 1.3.6.1.2.1.1.1.0 2>&1", &status);
  EXPECT_NE(status, 0);
  EXPECT_EQ(timeout, "kestrava-snmp: 301: Timeout.\n");
  EXPECT_NE(RunCommand(Tool() + " --help").find("usage: kestrava-snmp"), std::string::npos);
}

// ---- SNMPv3 with authentication, no privacy

class SnmpdV3Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    agent = new SnmpdProcess(
        "createUser md5user MD5 md5password\n"
        "createUser shauser SHA shapassword\n"
        "rouser md5user auth\n"
        "rouser shauser auth\n");
  }
  static void TearDownTestSuite() {
    delete agent;
    agent = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(agent->ok()) << agent->error(); }

  static SnmpdProcess* agent;
};
SnmpdProcess* SnmpdV3Test::agent = nullptr;

TEST_F(SnmpdV3Test, DiscoverThenAuthenticatedGet) {
  struct Case {
    const char* user;
    const char* password;
    int protocol;
  };
  for (const Case& c : {Case{"md5user", "md5password", 1}, Case{"shauser", "shapassword", 2}}) {
    TSnmpMgr mgr;
    Aim(mgr, *agent, 3);
    int discoveries = 0;
    mgr.OnDiscoveryResponse = [&](TSnmpMgr&, const std::string& engineId, int, int,
                                  const std::string&, int, const std::string&,
                                  int) { discoveries += engineId.empty() ? 0 : 1; };
    int securityLevel = -1;
    mgr.OnResponse = [&](TSnmpMgr&, int, int version, const std::string&, const std::string& user,
                         int level, const std::string&, int, int, int, const std::string&) {
      EXPECT_EQ(version, 3);
      EXPECT_EQ(user, c.user);
      securityLevel = level;
    };
    std::vector<int> errors;
    mgr.OnError = [&](TSnmpMgr&, int code, const std::string&) { errors.push_back(code); };

    mgr.SetUser(c.user);
    mgr.SetPassword(c.password);
    mgr.SetAuthProtocol(c.protocol);
    mgr.Discover();
    EXPECT_GE(discoveries, 1) << c.user;
    EXPECT_FALSE(mgr.RemoteEngineId().empty());
    EXPECT_GT(mgr.RemoteEngineBoots(), 0);

    Ask(mgr, kSysDescr0);
    mgr.SetPassword(c.password);  // Reset clears the password and the protocol
    mgr.SetAuthProtocol(c.protocol);
    mgr.SendGetRequest();
    EXPECT_EQ(securityLevel, 1) << c.user;
    EXPECT_EQ(mgr.ObjType(1), 4);
    EXPECT_FALSE(mgr.ObjValue(1).empty());
    EXPECT_TRUE(errors.empty());
  }
}

TEST_F(SnmpdV3Test, WrongPasswordFailsAuthentication) {
  TSnmpMgr mgr;
  Aim(mgr, *agent, 3);
  mgr.SetUser("md5user");
  mgr.SetPassword("not-the-password");
  // The engine id is learnt; the clock step is answered with an unsigned wrong-digest report.
  EXPECT_EQ(ErrorOf([&] { mgr.Discover(); }),
            "321: An authenticated message was expected, but the received message is not "
            "signed.");
  EXPECT_FALSE(mgr.RemoteEngineId().empty());

  // The same refusal reaches an asynchronous request through OnError.
  mgr.SetTimeout(0);
  std::vector<std::pair<int, std::string>> errors;
  mgr.OnError = [&](TSnmpMgr&, int code, const std::string& text) {
    errors.emplace_back(code, text);
  };
  bool responded = false;
  mgr.OnResponse = [&](TSnmpMgr&, int, int, const std::string&, const std::string&, int,
                       const std::string&, int, int, int, const std::string&) { responded = true; };
  Ask(mgr, kSysDescr0);
  mgr.SetPassword("not-the-password");
  mgr.SendGetRequest();
  ASSERT_TRUE(WaitFor([&] { return errors.size() >= 2; }));
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].first, 321);
  EXPECT_EQ(errors[1], std::make_pair(320, std::string("Malformed packet. Ignored.")));
  EXPECT_FALSE(responded);
}

}  // namespace
}  // namespace kestrava

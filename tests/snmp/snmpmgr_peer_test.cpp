// TSnmpMgr and kestrava-snmp against a real net-snmp agent on 127.0.0.1: get, get-next and
// walks in both versions, the agents' missing-object answers, the command's output beside
// snmpwalk's, and SNMPv3 discovery and authenticated requests.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <tuple>
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

TEST_F(SnmpdTest, CommandBulkwalkMatchesSnmpbulkwalk) {
  // Columns and groups that hold still, a scalar as the root (walked by a get in the end), and
  // repetitions that end answers inside a column, at its end and past it.
  for (const char* root : {"1.3.6.1.2.1.2.2.1.2", "1.3.6.1.2.1.2.2.1.3", "1.3.6.1.2.1.2.2.1.6",
                           "1.3.6.1.2.1.4.20", "1.3.6.1.2.1.1.9", "1.3.6.1.2.1.1.1.0"}) {
    for (const char* repetitions : {"", " -Cr1", " -Cr3", " -Cr50"}) {
      int status = -1;
      const std::string ours = RunCommand(
          Tool() + " bulkwalk -v 2c -c cobalt" + repetitions + " " + agent->peer() + " " + root,
          &status);
      EXPECT_EQ(status, 0);
      EXPECT_FALSE(ours.empty()) << root;
      EXPECT_EQ(ours, RunCommand(std::string("snmpbulkwalk -On -v 2c -c cobalt") + repetitions +
                                 " " + agent->peer() + " " + root))
          << root << repetitions;
    }
  }
  int status = 0;
  const std::string refused = RunCommand(
      Tool() + " bulkwalk -v 1 -c cobalt " + agent->peer() + " 1.3.6.1.2.1.1 2>&1", &status);
  EXPECT_EQ(status, 2);
  EXPECT_NE(refused.find("bulkwalk needs SNMPv2c or SNMPv3"), std::string::npos) << refused;
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

// An OID that does not read went out as a run of zeros ("sysName.0" printed ".0.0.0.0...")
// or lost its bad arc ("1.3.6.1.2.1.1.5.x" became ".1.3.6.1.2.1.1.5.0.0"), with status 0. Names
// the program knows are read; anything else is refused with status 1 and nothing sent.
TEST_F(SnmpdTest, CommandReadsOidsAsSnmpgetDoesOrRefusesThem) {
  const std::string theirs =
      RunCommand("snmpget -On -v2c -c cobalt " + agent->peer() + " 1.3.6.1.2.1.1.5.0");
  ASSERT_FALSE(theirs.empty());
  for (const char* oid : {".1.3.6.1.2.1.1.5.0", "sysName.0", "SNMPv2-MIB::sysName.0"}) {
    int status = -1;
    EXPECT_EQ(RunCommand(Tool() + " get -c cobalt " + agent->peer() + " " + oid, &status), theirs)
        << oid;
    EXPECT_EQ(status, 0) << oid;
  }
  for (const char* oid : {"sysName.x", "1.3.6.1.2.1.1.5.x", "1..3", "1.3.6.1.2.1.1.5.4294967296",
                          "noSuchName.0", "1.", "7"}) {
    int status = -1;
    const std::string out =
        RunCommand(Tool() + " get -c cobalt " + agent->peer() + " '" + oid + "' 2>&1", &status);
    EXPECT_EQ(status, 1) << oid;
    EXPECT_EQ(out, std::string("kestrava-snmp: ") + oid +
                       ": Unknown Object Identifier (give it in numbers, or as a MIB-II name the "
                       "program knows, such as sysName.0)\n");
  }
}

// net-snmp's tools take an option's value attached to it, and these names of the protocols.
TEST_F(SnmpdTest, CommandTakesNetSnmpsAttachedOptionsAndVersion) {
  const std::string theirs =
      RunCommand("snmpget -On -v2c -ccobalt " + agent->peer() + " 1.3.6.1.2.1.1.5.0");
  int status = -1;
  EXPECT_EQ(
      RunCommand(Tool() + " get -v2c -ccobalt -t1 -r1 " + agent->peer() + " sysName.0", &status),
      theirs);
  EXPECT_EQ(status, 0);
  const std::string version = RunCommand(Tool() + " --version", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(version.rfind("kestrava-snmp ", 0), 0u) << version;
  // bulkwalk stays as strict as snmpbulkwalk about SNMPv1, attached or not.
  RunCommand(Tool() + " bulkwalk -v1 -ccobalt " + agent->peer() + " 2>/dev/null", &status);
  EXPECT_EQ(status, 2);
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
  // The engine id is learnt; the clock step is answered with the agent's wrong-digest report.
  const std::string wrongDigest =
      "SNMP V3 report: wrong digest, check the authentication protocol and password "
      "(usmStatsWrongDigests).";
  EXPECT_EQ(ErrorOf([&] { mgr.Discover(); }), "327: " + wrongDigest);
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
  ASSERT_TRUE(WaitFor([&] { return !errors.empty(); }));
  QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::make_pair(327, wrongDigest));
  EXPECT_FALSE(responded);
}

// ---- What a real agent can send: long values, long OIDs

// An agent with an ifDescr-like value of 8,200 characters (over 8,192, the old receive buffer)
// and an OID of 128 arcs (its encoding passes 128 octets), both of which stopped our walk.
TEST(SnmpdLongAnswers, WalksGoOnWhereSnmpwalkGoesOn) {
  char pattern[] = "/tmp/kestrava-long-answers-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  std::string longOid = ".1.3.6.1.4.1.8072.9999.2";
  for (int i = 0; i < 119; ++i) longOid += ".4294967295";
  const std::string script = dir + "/pass.sh";
  std::ofstream(script) << "#!/bin/sh\n"
                           "A=.1.3.6.1.4.1.8072.9999.1.0\n"
                           "B="
                        << longOid
                        << "\n"
                           "case \"$1 $2\" in\n"
                           "  \"-g $A\") echo $A; echo integer; echo 7;;\n"
                           "  \"-g $B\") echo $B; echo integer; echo 42;;\n"
                           "  \"-n .1.3.6.1.4.1.8072.9999\"|\"-n .1.3.6.1.4.1.8072.9999.1\") "
                           "echo $A; echo integer; echo 7;;\n"
                           "  \"-n $A\") echo $B; echo integer; echo 42;;\n"
                           "esac\n";
  SnmpdProcess agent("pass .1.3.6.1.4.1.8072.9999 /bin/sh " + script +
                     "\nextend long /bin/sh -c \"head -c 8200 /dev/zero | tr '\\\\0' x\"\n");
  ASSERT_TRUE(agent.ok()) << agent.error();
  // nsExtendOutputFull: the 8,200 characters; the pass subtree: the 128-arc OID.
  for (const char* root : {"1.3.6.1.4.1.8072.1.3.2.3.1.2", "1.3.6.1.4.1.8072.9999"}) {
    for (const char* version : {"1", "2c"}) {
      int status = -1;
      const std::string ours = RunCommand(
          Tool() + " walk -v " + version + " -c cobalt " + agent.peer() + " " + root, &status);
      EXPECT_EQ(status, 0) << root;
      const std::string theirs = RunCommand(std::string("snmpwalk -On -v ") + version +
                                            " -c cobalt " + agent.peer() + " " + root);
      EXPECT_GT(theirs.size(), 1000u) << root;
      EXPECT_EQ(ours, theirs) << root << " v" << version;
    }
  }
  // The component's own asynchronous get of both.
  TSnmpMgr mgr;
  Aim(mgr, agent, 2);
  mgr.SetTimeout(0);
  std::vector<std::pair<std::string, size_t>> answers;
  mgr.OnResponse = [&](TSnmpMgr& m, int, int, const std::string&, const std::string&, int,
                       const std::string&, int, int, int, const std::string&) {
    answers.emplace_back(m.ObjId(1), m.ObjValue(1).size());
  };
  Ask(mgr, "1.3.6.1.4.1.8072.1.3.2.3.1.2.4.108.111.110.103");
  mgr.SendGetRequest();
  Ask(mgr, "1.3.6.1.4.1.8072.9999.1.0");
  mgr.SendGetNextRequest();
  ASSERT_TRUE(WaitFor([&] { return answers.size() == 2; }));
  EXPECT_EQ(answers[0].second, 8200u);
  EXPECT_EQ("." + answers[1].first, longOid);
  RunCommand("rm -rf '" + dir + "'");
}

// ---- IPv6 agents

class SnmpdIpv6Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    agent = new SnmpdProcess(
        "createUser ipv6user SHA-256 ipv6-auth-pw AES ipv6-priv-pw\nrouser ipv6user priv\n");
    if (agent->ok()) agent->ListenOnIpv6();
  }
  static void TearDownTestSuite() {
    delete agent;
    agent = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(agent->ok()) << agent->error(); }

  static SnmpdProcess* agent;
};
SnmpdProcess* SnmpdIpv6Test::agent = nullptr;

TEST_F(SnmpdIpv6Test, CommandOutputMatchesNetSnmpOverIpv6) {
  const std::string port = std::to_string(agent->port());
  const std::string v3 =
      "-v 3 -u ipv6user -l authPriv -a SHA-256 -A ipv6-auth-pw -x AES -X ipv6-priv-pw";
  for (const std::string& where : {agent->peer6(), "[::1]:" + port, "udp6:[::1]:" + port}) {
    for (const std::string& flags : {std::string("-v 2c -c cobalt"), v3}) {
      struct Command {
        const char* ours;
        const char* theirs;
        const char* oids;
      };
      for (const Command& c : {Command{"get", "snmpget", "1.3.6.1.2.1.1.1.0 1.3.6.1.2.1.1.2.0"},
                               Command{"walk", "snmpwalk", kIfDescr},
                               Command{"bulkwalk", "snmpbulkwalk", "1.3.6.1.2.1.2.2.1.3"}}) {
        int status = -1;
        const std::string ours =
            RunCommand(Tool() + " " + c.ours + " " + flags + " " + where + " " + c.oids, &status);
        EXPECT_EQ(status, 0) << where << " " << c.ours;
        EXPECT_FALSE(ours.empty()) << where << " " << c.ours;
        EXPECT_EQ(ours,
                  RunCommand(std::string(c.theirs) + " -On " + flags + " " + where + " " + c.oids))
            << where << " " << flags << " " << c.ours;
      }
    }
  }
}

TEST_F(SnmpdIpv6Test, ComponentAnswersSayTheIpv6SourceInBothModes) {
  for (const char* host : {"::1", "[::1]"}) {
    TSnmpMgr mgr;
    mgr.SetLocalPort(0);
    mgr.SetRemoteHost(host);
    EXPECT_EQ(mgr.RemoteHost(), "::1");
    mgr.SetRemotePort(agent->port());
    mgr.SetSNMPVersion(2);
    mgr.SetTimeout(5);
    Ask(mgr, kSysDescr0);
    mgr.SendGetRequest();
    EXPECT_EQ(mgr.ObjType(1), 4) << host;
    EXPECT_FALSE(mgr.ObjValue(1).empty());
    EXPECT_EQ(mgr.Config("DroppedPackets"), "0");

    mgr.SetTimeout(0);
    std::vector<std::tuple<std::string, int, std::string>> sources;
    mgr.OnResponse = [&](TSnmpMgr&, int, int, const std::string& community, const std::string&, int,
                         const std::string& source, int port, int, int,
                         const std::string&) { sources.emplace_back(source, port, community); };
    Ask(mgr, kSysDescr0);
    mgr.SendGetRequest();
    ASSERT_TRUE(WaitFor([&] { return sources.size() == 1; })) << host;
    EXPECT_EQ(sources[0],
              std::make_tuple(std::string("::1"), agent->port(), std::string("cobalt")));
    EXPECT_EQ(mgr.LocalHost(), "::");
  }
}

TEST_F(SnmpdIpv6Test, ComponentFollowsTheAgentsFamilyAndTalksSnmpV3) {
  TSnmpMgr mgr;
  mgr.SetLocalPort(0);
  mgr.SetRemotePort(agent->port());
  mgr.SetSNMPVersion(3);
  mgr.SetTimeout(0);
  mgr.SetUser("ipv6user");
  mgr.Config("SecurityLevel=authPriv");
  mgr.Config("AuthType=SHA-256");
  mgr.Config("AuthPassword=ipv6-auth-pw");
  mgr.Config("PrivType=AES");
  mgr.Config("PrivPassword=ipv6-priv-pw");
  std::vector<std::string> sources;
  std::vector<std::string> errors;
  mgr.OnResponse = [&](TSnmpMgr&, int, int, const std::string&, const std::string&, int level,
                       const std::string& source, int, int, int, const std::string&) {
    EXPECT_EQ(level, 3);
    sources.push_back(source);
  };
  mgr.OnError = [&](TSnmpMgr&, int code, const std::string& text) {
    errors.push_back(std::to_string(code) + ": " + text);
  };
  // The same agent by both families, one after the other: the socket follows each time.
  const std::vector<std::string> hosts = {"::1", "127.0.0.1", "[::1]", "127.0.0.1"};
  for (const std::string& host : hosts) {
    mgr.SetRemoteHost(host);
    Ask(mgr, kSysDescr0);
    mgr.SendGetRequest();
    const size_t want = &host - hosts.data() + 1;
    ASSERT_TRUE(WaitFor([&] { return sources.size() == want; })) << host;
  }
  EXPECT_EQ(sources, (std::vector<std::string>{"::1", "127.0.0.1", "::1", "127.0.0.1"}));
  EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
}

// ---- SNMPv3 users of every protocol and level

struct TV3User {
  const char* name;
  const char* level;
  const char* auth;
  const char* priv;
};

// One user per authentication protocol, per privacy protocol, and per level; AES-192/256 also
// behind digests too short for their keys (SHA-1, MD5), where the key is extended.
const TV3User kV3Users[] = {
    {"nanp", "noAuthNoPriv", "", ""},          {"amd5", "authNoPriv", "MD5", ""},
    {"asha", "authNoPriv", "SHA", ""},         {"asha224", "authNoPriv", "SHA-224", ""},
    {"asha256", "authNoPriv", "SHA-256", ""},  {"asha384", "authNoPriv", "SHA-384", ""},
    {"asha512", "authNoPriv", "SHA-512", ""},  {"pdes", "authPriv", "SHA", "DES"},
    {"paes", "authPriv", "SHA-256", "AES"},    {"paes192", "authPriv", "SHA", "AES-192"},
    {"paes256", "authPriv", "MD5", "AES-256"}, {"paes256b", "authPriv", "SHA-512", "AES-256"},
};

std::string AuthPassword(const TV3User& u) {
  return std::string("auth-") + u.name + "-pw";
}
std::string PrivPassword(const TV3User& u) {
  return std::string("priv-") + u.name + "-pw";
}

// net-snmp's flags for the user, for snmpget and for kestrava-snmp alike.
std::string V3Flags(const TV3User& u) {
  std::string flags = std::string("-v 3 -u ") + u.name + " -l " + u.level;
  if (*u.auth) flags += std::string(" -a ") + u.auth + " -A " + AuthPassword(u);
  if (*u.priv) flags += std::string(" -x ") + u.priv + " -X " + PrivPassword(u);
  return flags;
}

class SnmpdUsersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string config;
    for (const TV3User& u : kV3Users) {
      config += std::string("createUser ") + u.name;
      if (*u.auth) config += std::string(" ") + u.auth + " " + AuthPassword(u);
      if (*u.priv) config += std::string(" ") + u.priv + " " + PrivPassword(u);
      config += std::string("\nrouser ") + u.name + " " +
                (*u.priv   ? "priv"
                 : *u.auth ? "auth"
                           : "noauth") +
                "\n";
    }
    agent = new SnmpdProcess(config);
  }
  static void TearDownTestSuite() {
    delete agent;
    agent = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(agent->ok()) << agent->error(); }

  // The component set up for the user, asynchronous.
  static void UseUser(TSnmpMgr& mgr, const TV3User& u) {
    Aim(mgr, *agent, 3);
    mgr.SetTimeout(0);
    mgr.SetUser(u.name);
    mgr.Config(std::string("SecurityLevel=") + u.level);
    if (*u.auth) {
      mgr.Config(std::string("AuthType=") + u.auth);
      mgr.Config("AuthPassword=" + AuthPassword(u));
    }
    if (*u.priv) {
      mgr.Config(std::string("PrivType=") + u.priv);
      mgr.Config("PrivPassword=" + PrivPassword(u));
    }
  }

  static SnmpdProcess* agent;
};
SnmpdProcess* SnmpdUsersTest::agent = nullptr;

TEST_F(SnmpdUsersTest, CommandOutputMatchesNetSnmpForEveryUser) {
  for (const TV3User& u : kV3Users) {
    const std::string flags = V3Flags(u);
    // Values that hold still between the two runs.
    const std::string get = " 1.3.6.1.2.1.1.1.0 1.3.6.1.2.1.1.2.0 1.3.6.1.2.1.1.6.0";
    int status = -1;
    const std::string ours =
        RunCommand(Tool() + " get " + flags + " " + agent->peer() + get, &status);
    EXPECT_EQ(status, 0) << u.name;
    EXPECT_FALSE(ours.empty()) << u.name;
    EXPECT_EQ(ours, RunCommand("snmpget -On " + flags + " " + agent->peer() + get)) << u.name;
    const std::string walk = std::string(" ") + kIfDescr;
    const std::string ourWalk = RunCommand(Tool() + " walk " + flags + " " + agent->peer() + walk);
    EXPECT_FALSE(ourWalk.empty()) << u.name;
    EXPECT_EQ(ourWalk, RunCommand("snmpwalk -On " + flags + " " + agent->peer() + walk)) << u.name;
    const std::string bulk = " -Cr4 1.3.6.1.2.1.2.2.1.3";
    const std::string ourBulk =
        RunCommand(Tool() + " bulkwalk " + flags + " " + agent->peer() + bulk);
    EXPECT_FALSE(ourBulk.empty()) << u.name;
    EXPECT_EQ(ourBulk, RunCommand("snmpbulkwalk -On " + flags + " " + agent->peer() + bulk))
        << u.name;
  }
}

TEST_F(SnmpdUsersTest, AsynchronousComponentGetsAnswersForEveryUser) {
  const std::string reference =
      RunCommand("snmpget -Oqv -v2c -c cobalt " + agent->peer() + " " + kSysDescr0);
  for (const TV3User& u : kV3Users) {
    TSnmpMgr mgr;
    UseUser(mgr, u);
    std::vector<std::pair<int, std::string>> answers;
    std::vector<std::string> errors;
    mgr.OnResponse = [&](TSnmpMgr& m, int requestId, int version, const std::string&,
                         const std::string& user, int level, const std::string&, int, int, int,
                         const std::string&) {
      EXPECT_EQ(version, 3);
      EXPECT_EQ(user, u.name);
      EXPECT_EQ(level, *u.priv ? 3 : *u.auth ? 1 : 0) << u.name;
      answers.emplace_back(requestId, "\"" + m.ObjValue(1) + "\"\n");
    };
    mgr.OnError = [&](TSnmpMgr&, int code, const std::string& text) {
      errors.push_back(std::to_string(code) + ": " + text);
    };
    // Sent at once, before the component knows anything of the agent.
    for (int id = 1; id <= 3; ++id) {
      Ask(mgr, kSysDescr0);
      mgr.SetRequestId(id);
      mgr.SendGetRequest();
    }
    ASSERT_TRUE(WaitFor([&] { return answers.size() == 3; })) << u.name;
    for (const auto& [id, value] : answers) EXPECT_EQ(value, reference) << u.name << " " << id;
    EXPECT_TRUE(errors.empty()) << u.name << ": " << (errors.empty() ? "" : errors[0]);
  }
}

TEST_F(SnmpdUsersTest, RestartedAgentIsFollowed) {
  const TV3User& user = kV3Users[8];  // SHA-256 and AES
  for (const int timeout : {0, 5}) {
    TSnmpMgr mgr;
    UseUser(mgr, user);
    mgr.SetTimeout(timeout);
    int answers = 0;
    std::vector<std::string> errors;
    mgr.OnResponse = [&](TSnmpMgr&, int, int, const std::string&, const std::string&, int,
                         const std::string&, int, int, int, const std::string&) { ++answers; };
    mgr.OnError = [&](TSnmpMgr&, int code, const std::string& text) {
      errors.push_back(std::to_string(code) + ": " + text);
    };
    Ask(mgr, kSysDescr0);
    mgr.SendGetRequest();
    ASSERT_TRUE(WaitFor([&] { return answers == 1; }));
    const int boots = mgr.RemoteEngineBoots();
    const std::string engineId = mgr.RemoteEngineId();
    ASSERT_TRUE(agent->Restart()) << agent->error();
    Ask(mgr, kSysDescr0);
    mgr.SendGetRequest();
    ASSERT_TRUE(WaitFor([&] { return answers == 2; })) << "timeout " << timeout;
    EXPECT_EQ(mgr.RemoteEngineBoots(), boots + 1);
    EXPECT_EQ(mgr.RemoteEngineId(), engineId);
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0]);
  }
}

// -a SHA256 and -x AES128, as net-snmp also spells them, attached or not.
TEST_F(SnmpdUsersTest, CommandTakesNetSnmpsProtocolSpellings) {
  const std::string theirs = RunCommand("snmpget -On -v 3 -u paes -l authPriv -a SHA-256 -A " +
                                        std::string("auth-paes-pw -x AES -X priv-paes-pw ") +
                                        agent->peer() + " 1.3.6.1.2.1.1.5.0");
  ASSERT_FALSE(theirs.empty());
  for (const char* flags :
       {"-v 3 -u paes -l authPriv -a SHA256 -A auth-paes-pw -x AES128 -X "
        "priv-paes-pw",
        "-v3 -upaes -lauthPriv -asha256 -Aauth-paes-pw -xaes128 -Xpriv-paes-pw"}) {
    int status = -1;
    EXPECT_EQ(RunCommand(Tool() + " get " + flags + " " + agent->peer() + " sysName.0", &status),
              theirs)
        << flags;
    EXPECT_EQ(status, 0) << flags;
  }
}

TEST_F(SnmpdUsersTest, RefusalsOfTheAgentAreErrorsOfTheirOwn) {
  struct Case {
    std::string flags;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"-v 3 -u nobody -l noAuthNoPriv",
       "325: SNMP V3 report: unknown user name (usmStatsUnknownUserNames)."},
      {"-v 3 -u asha -l authNoPriv -a SHA -A not-the-password",
       "327: SNMP V3 report: wrong digest, check the authentication protocol and password "
       "(usmStatsWrongDigests)."},
      {"-v 3 -u asha -l authNoPriv -a SHA-256 -A auth-asha-pw",
       "327: SNMP V3 report: wrong digest, check the authentication protocol and password "
       "(usmStatsWrongDigests)."},
      {"-v 3 -u asha -l authPriv -a SHA -A auth-asha-pw -x AES -X some-priv-pw",
       "323: SNMP V3 report: unsupported security level for this user "
       "(usmStatsUnsupportedSecLevels)."},
      {"-v 3 -u asha -l authNoPriv -a SHA -A short",
       "315: Password must be at least 8 characters."},
  };
  for (const Case& c : cases) {
    int status = 0;
    const std::string out = RunCommand(
        Tool() + " get -r 0 " + c.flags + " " + agent->peer() + " " + kSysDescr0 + " 2>&1",
        &status);
    EXPECT_EQ(status, 1) << c.flags;
    EXPECT_EQ(out, "kestrava-snmp: " + c.error + "\n") << c.flags;
  }
}

}  // namespace
}  // namespace kestrava

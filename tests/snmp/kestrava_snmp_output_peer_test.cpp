// kestrava-snmp beside net-snmp's snmpwalk -On and snmpget -On, output by output, against
// agents serving values that are awkward to print: a real snmpd whose pass program
// (odd_values_pass.py) serves octet strings of every kind of octet, a value of each other type
// at the end of the MIB view, and a subtree answered out of order; and a pysnmp agent
// (opaque_agent.py) answering with numbers wrapped in Opaque.

#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "snmpd_process.h"

namespace kestrava {
namespace {

using ::kestrava::testing::FreeUdpPort;
using ::kestrava::testing::RunCommand;
using ::kestrava::testing::SnmpdProcess;

const std::string kTests = KESTRAVA_SOURCE_DIR "/tests/snmp/";

std::string Tool() {
  return std::string(KESTRAVA_BINARY_DIR) + "/bin/kestrava-snmp";
}

// What a command printed on each of its outputs, and its exit status.
struct TOutput {
  std::string out;
  std::string err;
  int status = -1;
};

TOutput RunCapturing(const std::string& command, const std::string& folder) {
  const std::string errFile = folder + "/stderr.txt";
  TOutput output;
  output.out = RunCommand(command + " 2>" + errFile, &output.status);
  std::ifstream in(errFile, std::ios::binary);
  std::stringstream err;
  err << in.rdbuf();
  output.err = err.str();
  return output;
}

void ExpectSameOutput(const TOutput& ours, const TOutput& theirs) {
  EXPECT_EQ(ours.out, theirs.out);
  EXPECT_EQ(ours.err, theirs.err);
  EXPECT_EQ(ours.status, theirs.status);
}

class OddValuesAgent : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string pass = "/usr/bin/python3 " + kTests + "odd_values_pass.py";
    agent = new SnmpdProcess("pass_persist .1.3.6.1.99999 " + pass + "\n" +
                             "pass_persist .1.3.6.1.4.1.99997 " + pass + "\n");
  }
  static void TearDownTestSuite() {
    delete agent;
    agent = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(agent->ok()) << agent->error(); }

  // Our walk and net-snmp's of the same root.
  static void Walk(const std::string& version, const std::string& root, TOutput& ours,
                   TOutput& theirs) {
    const std::string args = " -c cobalt " + agent->peer() + " " + root;
    ours = RunCapturing(Tool() + " walk -v " + version + args, agent->dir());
    theirs = RunCapturing("snmpwalk -On -v" + version + args, agent->dir());
  }

  static SnmpdProcess* agent;
};
SnmpdProcess* OddValuesAgent::agent = nullptr;

TEST_F(OddValuesAgent, OctetStringsPrintAsSnmpwalkPrintsThem) {
  for (const char* version : {"1", "2c"}) {
    SCOPED_TRACE(version);
    TOutput ours, theirs;
    Walk(version, ".1.3.6.1.99999.1", ours, theirs);
    ExpectSameOutput(ours, theirs);
    // Text only when every octet is printable or white space; a NUL anywhere makes it hex,
    // and no octet is lost.
    for (const char* line :
         {".1.3.6.1.99999.1.1 = STRING: \"hello\"\n",
          ".1.3.6.1.99999.1.2 = Hex-STRING: 68 65 6C 6C 6F 00 \n",
          ".1.3.6.1.99999.1.3 = Hex-STRING: 00 \n", ".1.3.6.1.99999.1.4 = Hex-STRING: 60 00 \n",
          ".1.3.6.1.99999.1.15 = STRING: \"a\x0c"
          "b\x0b"
          "c\"\n"}) {
      EXPECT_NE(ours.out.find(line), std::string::npos) << line;
    }
  }
}

TEST_F(OddValuesAgent, WalksEndAsSnmpwalkEndsThem) {
  const struct {
    const char* name;
    const char* root;
  } cases[] = {
      {"values of every type, to the end of the MIB view", ".1.3.6.1.99999.2"},
      {"the whole table", ".1.3.6.1.99999"},
      {"from the last object", ".1.3.6.1.99999.2.15"},
      {"past the end", ".1.3.6.1.99999.3"},
      {"an instance: nothing under it, so it is got", ".1.3.6.1.99999.1.1"},
      {"an empty subtree before the table", ".1.3.6.1.99999.0"},
      {"answers out of order", ".1.3.6.1.4.1.99997"},
      {"a column that another one follows", ".1.3.6.1.2.1.2.2.1.2"},
  };
  for (const char* version : {"1", "2c"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", version " + version);
      TOutput ours, theirs;
      Walk(version, c.root, ours, theirs);
      ExpectSameOutput(ours, theirs);
    }
  }
  // What the end of the MIB view looks like in each version.
  TOutput ours, theirs;
  Walk("2c", ".1.3.6.1.99999.2", ours, theirs);
  EXPECT_TRUE(
      ours.out.ends_with(".1.3.6.1.99999.2.15 = No more variables left in this MIB View "
                         "(It is past the end of the MIB tree)\n"))
      << ours.out;
  Walk("1", ".1.3.6.1.99999.2", ours, theirs);
  EXPECT_TRUE(ours.out.ends_with("\nEnd of MIB\n")) << ours.out;
  EXPECT_EQ(ours.err, "");
}

TEST(OpaqueAgent, WrappedNumbersPrintAsSnmpgetPrintsThem) {
  const std::string port = std::to_string(FreeUdpPort());
  FILE* agent = ::popen(
      ("exec /usr/bin/python3 " + kTests + "opaque_agent.py " + port + " >/dev/null").c_str(), "w");
  ASSERT_NE(agent, nullptr);
  const std::string peer = "127.0.0.1:" + port;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int ready = -1;
  while (ready != 0 && std::chrono::steady_clock::now() < until) {
    RunCommand("snmpget -v2c -c any -t 0.2 -r 0 " + peer + " .1.3.6.1.4.1.99996.1 >/dev/null 2>&1",
               &ready);
  }
  ASSERT_EQ(ready, 0) << "the Opaque agent did not answer";
  char folder[] = "/tmp/kestrava-opaque-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  std::string oids;
  for (int i = 1; i <= 21; ++i) oids += " .1.3.6.1.4.1.99996." + std::to_string(i);
  for (const char* version : {"1", "2c"}) {
    SCOPED_TRACE(version);
    const std::string args = std::string(" -v ") + version + " -c any " + peer + oids;
    const TOutput ours = RunCapturing(Tool() + " get" + args, folder);
    const TOutput theirs = RunCapturing("snmpget -On" + args, folder);
    ExpectSameOutput(ours, theirs);
    EXPECT_NE(ours.out.find(".1.3.6.1.4.1.99996.1 = Opaque: Float: 3.760254\n"), std::string::npos);
  }
  ::pclose(agent);  // its standard input ends, and so does it
  ::unlink((std::string(folder) + "/stderr.txt").c_str());
  ::rmdir(folder);
}

}  // namespace
}  // namespace kestrava
